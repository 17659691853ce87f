#include "tools/handset-sim/links.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace handset_sim {
namespace {

bool ReplaceLink(const std::string& target, const std::string& link, std::string* error) {
  struct stat existing {};
  if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    *error = link + " exists and is not a link";
    return false;
  }
  const std::filesystem::path path(link);
  const std::string temporary =
      (path.parent_path() / (".#" + path.filename().string() + "." + std::to_string(getpid()))).string();
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    *error = ErrnoText("cannot create " + temporary);
    return false;
  }
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    *error = ErrnoText("cannot create " + link);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool PublishLink(const std::string& target, const std::string& link, std::string* error) {
  // A folder that can not be made shows in the error of the link that can not be made in it.
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(link).parent_path(), ignored);
  if (symlink(target.c_str(), link.c_str()) == 0) return true;
  if (errno == EEXIST) return ReplaceLink(target, link, error);
  *error = ErrnoText("cannot create " + link);
  return false;
}

void RemoveLinkIfOurs(const std::string& link, const std::string& target) {
  char buffer[4096];
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
  if (n < 0 || std::string(buffer, static_cast<std::size_t>(n)) != target) return;
  unlink(link.c_str());
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace handset_sim
