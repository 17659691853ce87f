// The port map: COM port numbers name devices through links in one directory.
//
// "comN" in the directory links to the device that is COM port N, much as the DOS device
// links of a Windows emulation layer do. The directory is $FLASHGATE_PORTS_DIR when set,
// else ~/.config/flashgate/ports. No link, no port.
#pragma once

#include <map>
#include <string>

namespace platform::posix {

// COM1 to COM255: what a port number can name.
constexpr unsigned kLastPortNumber = 255;

std::string PortMapDirectory();
// A port number as written: "7" is port 7; 0 for any other text ("0", "07", "256", "7x").
unsigned PortOfNumber(const std::string& digits);
// The port a name in the map stands for: "com7" is port 7, "com255" port 255; 0 for any other
// name ("com0", "com07", "com256", "com3.new", ".numbers").
unsigned PortOfLinkName(const std::string& name);
// The ports of a map folder and what their links name.
std::map<unsigned, std::string> PortLinks(const std::string& mapDir);
// The path to open for port n; empty when the map has no link for it.
std::string PortPath(unsigned portNumber);
// What a symbolic link names; empty when `link` is none.
std::string LinkTarget(const std::string& link);
// What the link for port n names (a stable device name, a device node, a pseudo-terminal);
// empty when there is no link.
std::string PortTarget(unsigned portNumber);

}  // namespace platform::posix
