// Files by name: full paths, and files replaced whole. Windows drive paths are mapped as
// platform/posix/drive_map.h says, as CFile maps them.
#pragma once

#include <cstddef>
#include <string>

#include "platform/kernel/types.h"

// Long enough for any path a Linux file system gives (PATH_MAX).
constexpr DWORD MAX_PATH = 4096;

// `name` made absolute against the current folder, into `buffer` with its NUL. Answers the
// length without the NUL; when the buffer is too small, the size it needs with the NUL; 0 on
// failure. `filePart`, if given, points at the file name inside `buffer`.
DWORD GetFullPathNameA(LPCSTR name, DWORD length, char* buffer, char** filePart);

namespace platform {

// Ours; Windows has no such call. Writes the file whole: the bytes go to "<path>.tmp", which
// then replaces `path` on the disk, so a reader finds the old contents or the new, never a
// part of them. FALSE leaves `path` as it was.
BOOL SaveFileWhole(LPCSTR path, const void* data, DWORD size);
// The same for a path as the system names it, answering 0 or the system's error number.
int ReplaceFileWhole(const std::string& path, const void* data, std::size_t size);

// Where the program keeps what it records of its runs: its folder among the user's state.
std::string StateFolder();
// Makes `path` and every folder above it that is missing, private to the user; answers 0 or
// the system's error number.
int MakePrivateFolders(const std::string& path);

}  // namespace platform
