#include "platform/posix/port_map.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

#include "platform/posix/home_dir.h"

namespace platform::posix {

std::string PortMapDirectory() {
  if (const char* dir = std::getenv("FLASHGATE_PORTS_DIR"); dir && *dir) return dir;
  return HomeDirectory() + "/.config/flashgate/ports";
}

unsigned PortOfNumber(const std::string& digits) {
  if (digits.empty() || digits.size() > 3 || digits[0] == '0') return 0;
  unsigned number = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') return 0;
    number = number * 10 + static_cast<unsigned>(digit - '0');
  }
  return number <= kLastPortNumber ? number : 0;
}

unsigned PortOfLinkName(const std::string& name) {
  return name.compare(0, 3, "com") == 0 ? PortOfNumber(name.substr(3)) : 0;
}

std::map<unsigned, std::string> PortLinks(const std::string& mapDir) {
  std::map<unsigned, std::string> links;
  if (DIR* folder = opendir(mapDir.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      const unsigned port = PortOfLinkName(entry->d_name);
      const std::string target = port ? LinkTarget(mapDir + "/" + entry->d_name) : std::string();
      if (!target.empty()) links[port] = target;
    }
    closedir(folder);
  }
  return links;
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
