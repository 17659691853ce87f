#include "platform/posix/device_names.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdlib>

#include "platform/posix/port_map.h"

namespace platform::posix {

std::string DeviceDirectory() {
  if (const char* dir = std::getenv("FLASHGATE_DEV_DIR"); dir && *dir) return dir;
  return "/dev";
}

bool IsUsbSerialNode(const std::string& name) {
  return name.compare(0, 6, "ttyACM") == 0 || name.compare(0, 6, "ttyUSB") == 0;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string SerialLinkTo(const std::string& deviceDir, const char* kind, const std::string& realNode) {
  if (realNode.empty()) return {};
  const std::string folder = deviceDir + "/serial/" + kind;
  std::string found;
  if (DIR* entries = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(entries)) {
      if (entry->d_name[0] == '.') continue;
      const std::string link = folder + "/" + entry->d_name;
      // The first by name when several lead there, so every look answers the same.
      if (RealPath(link) == realNode && (found.empty() || link < found)) found = link;
    }
    closedir(entries);
  }
  return found;
}

std::string PortLocation(unsigned portNumber) {
  const std::string port = PortPath(portNumber);
  return port.empty() ? std::string() : SerialLinkTo(DeviceDirectory(), "by-path", RealPath(port));
}

}  // namespace platform::posix
