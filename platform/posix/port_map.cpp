#include "platform/posix/port_map.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

namespace platform::posix {
namespace {

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

}  // namespace

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
