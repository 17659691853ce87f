#include "platform/posix/drive_map.h"

#include <pwd.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace platform::posix {
namespace {

bool IsDriveC(const std::string& path) {
  return path.size() >= 2 && std::toupper(static_cast<unsigned char>(path[0])) == 'C' && path[1] == ':';
}

}  // namespace

std::string DriveCDirectory() {
  if (const char* dir = std::getenv("FLASHGATE_DRIVE_C"); dir && *dir) return dir;
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

std::string NativePath(const std::string& path) {
  if (!IsDriveC(path)) return path;
  std::string rest = path.substr(2);
  std::replace(rest.begin(), rest.end(), '\\', '/');
  std::string base = DriveCDirectory();
  if (!base.empty() && base.back() == '/') base.pop_back();
  if (rest.empty() || rest.front() != '/') rest.insert(rest.begin(), '/');
  return base + rest;
}

}  // namespace platform::posix
