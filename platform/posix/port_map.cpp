#include "platform/posix/port_map.h"

#include <sys/stat.h>
#include <unistd.h>
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

std::string LinkTarget(const std::string& link) {
  char target[4096];
  const ssize_t length = readlink(link.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return {};
  return std::string(target, static_cast<size_t>(length));
}

std::string PortTarget(unsigned portNumber) {
  return LinkTarget(PortMapDirectory() + "/com" + std::to_string(portNumber));
}

}  // namespace platform::posix
