#include "platform/posix/port_map.h"

#include <sys/stat.h>
#include <cstdlib>

#include "platform/posix/home_dir.h"

namespace platform::posix {

std::string PortMapDirectory() {
  if (const char* dir = std::getenv("FLASHGATE_PORTS_DIR"); dir && *dir) return dir;
  return HomeDirectory() + "/.config/flashgate/ports";
}

std::string PortPath(unsigned portNumber) {
  const std::string link = PortMapDirectory() + "/com" + std::to_string(portNumber);
  struct stat info {};
  if (lstat(link.c_str(), &info) != 0) return {};
  return link;
}

}  // namespace platform::posix
