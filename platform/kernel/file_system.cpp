#include "platform/kernel/file_system.h"

#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/kernel/last_error.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/home_dir.h"
#include "platform/posix/private_folder.h"
#include "platform/posix/whole_file.h"

DWORD GetFullPathNameA(LPCSTR name, DWORD length, char* buffer, char** filePart) {
  std::string full = platform::posix::NativePath(name ? name : "");
  if (full.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (full[0] != '/') {
    std::unique_ptr<char, decltype(&std::free)> current(getcwd(nullptr, 0), &std::free);
    if (!current) {
      platform::SetLastErrorFromErrno();
      return 0;
    }
    full = std::string(current.get()) + (full == "." ? "" : "/" + full);
  }
  if (full.size() + 1 > length) return static_cast<DWORD>(full.size() + 1);
  std::memcpy(buffer, full.c_str(), full.size() + 1);
  if (filePart) *filePart = buffer + full.rfind('/') + 1;
  return static_cast<DWORD>(full.size());
}

int platform::ReplaceFileWhole(const std::string& path, const void* data, std::size_t size) {
  return posix::ReplaceFileWhole(path, data, size);
}

std::string platform::StateFolder() { return posix::StateDirectory(); }

int platform::MakePrivateFolders(const std::string& path) { return posix::MakePrivateFolders(path); }

BOOL platform::SaveFileWhole(LPCSTR path, const void* data, DWORD size) {
  const int error = platform::posix::ReplaceFileWhole(platform::posix::NativePath(path ? path : ""), data, size);
  SetLastError(error == 0 ? ERROR_SUCCESS : platform::Win32ErrorFromErrno(error));
  return error == 0;
}
