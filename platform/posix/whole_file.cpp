#include "platform/posix/whole_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>

namespace platform::posix {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t count = write(fd, data + done, size - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(count);
  }
  return true;
}

int SyncFolderOf(const std::string& path) {
  const std::string parent = std::filesystem::path(path).parent_path().string();
  const int folder = open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return errno;
  const int error = fsync(folder) == 0 ? 0 : errno;
  close(folder);
  return error;
}

}  // namespace

// The rename is the moment the new contents replace the old; before it the old stand whole.
int ReplaceFileWhole(const std::string& path, const void* data, std::size_t size) {
  const std::string temporary = path + ".tmp";
  const int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (file < 0) return errno;
  auto failed = [&temporary](int error) {
    unlink(temporary.c_str());
    return error;
  };
  if (!WriteAll(file, static_cast<const char*>(data), size) || fsync(file) != 0) {
    const int error = errno;
    close(file);
    return failed(error);
  }
  if (close(file) != 0 || rename(temporary.c_str(), path.c_str()) != 0) return failed(errno);
  return SyncFolderOf(path);
}

}  // namespace platform::posix
