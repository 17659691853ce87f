// The names a USB serial device has in the device folder: its node (ttyACM0, ttyUSB0), and the
// links udev makes for it in serial/by-id (the maker, model and serial number, whatever node
// it gets) and serial/by-path (the socket it is plugged into, whatever it says it is).
#pragma once

#include <string>

namespace platform::posix {

// The device folder: $FLASHGATE_DEV_DIR when set (tests), else /dev.
std::string DeviceDirectory();
// Whether a name in the device folder is a USB serial device's node.
bool IsUsbSerialNode(const std::string& name);
// Where `path` leads once every link is followed; empty when it leads nowhere.
std::string RealPath(const std::string& path);
// The link in <deviceDir>/serial/<kind> ("by-id", "by-path") that leads to the node `realNode`,
// as a path; empty when there is none.
std::string SerialLinkTo(const std::string& deviceDir, const char* kind, const std::string& realNode);
// The serial/by-path link of the device behind port n: the socket it is plugged into; empty
// when the port leads to no device or the device has no such name.
std::string PortLocation(unsigned portNumber);

}  // namespace platform::posix
