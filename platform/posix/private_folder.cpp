#include "platform/posix/private_folder.h"

#include <sys/stat.h>

#include <cerrno>

namespace platform::posix {
namespace {

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// One folder of the chain: made private, or already there (perhaps made by another process
// a moment ago).
int MakeOne(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0) {
    // The mode given to mkdir passes through the umask; what is asked for is exact.
    return chmod(path.c_str(), 0700) == 0 ? 0 : errno;
  }
  const int error = errno;
  if (error == EEXIST) return IsFolder(path) ? 0 : ENOTDIR;
  return error;
}

}  // namespace

int MakePrivateFolders(const std::string& path) {
  if (path.empty()) return ENOENT;
  if (IsFolder(path)) return 0;
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string above = path.substr(0, slash);
    if (above.back() == '/' || IsFolder(above)) continue;
    if (const int error = MakeOne(above)) return error;
  }
  return path.back() == '/' ? 0 : MakeOne(path);
}

}  // namespace platform::posix
