#include "platform/kernel/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/handles.h"
#include "platform/kernel/last_error.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/home_dir.h"
#include "platform/posix/whole_file.h"

namespace {

struct CloseDir {
  void operator()(DIR* dir) const { closedir(dir); }
};

struct FindResults : platform::KernelObject {
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
};

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SyncPath(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

DWORD GetFullPathNameA(LPCSTR name, DWORD length, char* buffer, char** filePart) {
  std::string full = platform::posix::NativePath(name ? name : "");
  if (full.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (full[0] != '/') {
    std::unique_ptr<char, decltype(&std::free)> current(getcwd(nullptr, 0), &std::free);
    if (!current) {
      platform::posix::SetLastErrorFromErrno();
      return 0;
    }
    full = std::string(current.get()) + (full == "." ? "" : "/" + full);
  }
  if (full.size() + 1 > length) return static_cast<DWORD>(full.size() + 1);
  std::memcpy(buffer, full.c_str(), full.size() + 1);
  if (filePart) *filePart = buffer + full.rfind('/') + 1;
  return static_cast<DWORD>(full.size());
}

BOOL CreateDirectoryA(LPCSTR path, void*) {
  if (mkdir(platform::posix::NativePath(path ? path : "").c_str(), 0700) != 0) {
    platform::posix::SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
  const std::string native = platform::posix::NativePath(pattern ? pattern : "");
  const std::string folder = FolderOf(native);
  const std::string wildcard = NameOf(native);
  std::unique_ptr<DIR, CloseDir> dir(opendir(folder.c_str()));
  if (!dir) {
    platform::posix::SetLastErrorFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  auto results = std::make_shared<FindResults>();
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || fnmatch(wildcard.c_str(), name.c_str(), FNM_PERIOD) != 0) continue;
    if (name.size() >= sizeof data->cFileName) continue;
    WIN32_FIND_DATAA found{};
    struct stat info {};
    const bool folderEntry = fstatat(dirfd(dir.get()), name.c_str(), &info, 0) == 0 && S_ISDIR(info.st_mode);
    found.dwFileAttributes = folderEntry ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    std::memcpy(found.cFileName, name.c_str(), name.size() + 1);
    results->entries.push_back(found);
  }
  if (results->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *data = results->entries[results->next++];
  return platform::InsertHandle(results);
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  const auto results = platform::LookupHandleAs<FindResults>(find);
  if (!results) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (results->next >= results->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *data = results->entries[results->next++];
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (!platform::LookupHandleAs<FindResults>(find)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(find);
}

BOOL DeleteFileA(LPCSTR path) {
  if (unlink(platform::posix::NativePath(path ? path : "").c_str()) != 0) {
    platform::posix::SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  const std::string source = platform::posix::NativePath(from ? from : "");
  const std::string target = platform::posix::NativePath(to ? to : "");
  struct stat info {};
  if (!(flags & MOVEFILE_REPLACE_EXISTING) && lstat(target.c_str(), &info) == 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  const bool writeThrough = flags & MOVEFILE_WRITE_THROUGH;
  // The data first, then the name: after a crash the target is the old file or the new one.
  if ((writeThrough && !SyncPath(source, O_RDONLY)) || rename(source.c_str(), target.c_str()) != 0 ||
      (writeThrough && !SyncPath(FolderOf(target), O_RDONLY | O_DIRECTORY))) {
    platform::posix::SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL SaveFileWhole(LPCSTR path, const void* data, DWORD size) {
  const DWORD error = platform::posix::ReplaceFileWhole(platform::posix::NativePath(path ? path : ""), data, size);
  SetLastError(error);
  return error == ERROR_SUCCESS;
}

HRESULT SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, char* path) {
  if ((csidl & ~CSIDL_FLAG_CREATE) != CSIDL_LOCAL_APPDATA) return E_FAIL;
  const char* state = std::getenv("XDG_STATE_HOME");
  // The variable counts only when it names an absolute path.
  const std::string folder =
      state && state[0] == '/' ? std::string(state) : platform::posix::HomeDirectory() + "/.local/state";
  if ((csidl & CSIDL_FLAG_CREATE) && !MakeFolders(folder)) return E_FAIL;
  if (folder.size() >= MAX_PATH) return E_FAIL;
  std::memcpy(path, folder.c_str(), folder.size() + 1);
  return S_OK;
}
