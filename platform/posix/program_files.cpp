#include "platform/posix/program_files.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix {

std::string DocumentationFolder() {
  char exe[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length <= 0) return {};
  // <prefix>/bin/flashgate
  std::string prefix(exe, static_cast<std::size_t>(length));
  for (int up = 0; up < 2; ++up) prefix.erase(prefix.rfind('/') == std::string::npos ? 0 : prefix.rfind('/'));
  const std::string folder = prefix + "/share/doc/flashgate";
  struct stat info {};
  return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? folder : std::string();
}

}  // namespace platform::posix
