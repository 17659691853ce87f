#include "platform/posix/drive_map.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/posix/home_dir.h"

namespace platform::posix {
namespace {

bool IsDriveC(const std::string& path) {
  return path.size() >= 2 && std::toupper(static_cast<unsigned char>(path[0])) == 'C' && path[1] == ':';
}

std::string DriveCDirectory() {
  if (const char* dir = std::getenv("FLASHGATE_DRIVE_C"); dir && *dir) return dir;
  return HomeDirectory();
}

}  // namespace

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
