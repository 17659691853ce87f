// The port map: COM port numbers name devices through links in one directory.
//
// "comN" in the directory links to the device that is COM port N, much as the DOS device
// links of a Windows emulation layer do. The directory is $FLASHGATE_PORTS_DIR when set,
// else ~/.config/flashgate/ports. No link, no port.
#pragma once

#include <string>

namespace platform::posix {

std::string PortMapDirectory();
// The path to open for port n; empty when the map has no link for it.
std::string PortPath(unsigned portNumber);
// What a symbolic link names; empty when `link` is none.
std::string LinkTarget(const std::string& link);
// What the link for port n names (a stable device name, a device node, a pseudo-terminal);
// empty when there is no link.
std::string PortTarget(unsigned portNumber);

}  // namespace platform::posix
