// Files and folders by name: full paths, folders, listing, deleting and replacing, and the
// per-user folder a program keeps its own records in. Windows drive paths are mapped as
// platform/posix/drive_map.h says, as CFile maps them.
#pragma once

#include "platform/kernel/text.h"
#include "platform/kernel/types.h"

using HRESULT = LONG;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);

// Long enough for any path a Linux file system gives (PATH_MAX).
constexpr DWORD MAX_PATH = 4096;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  char cFileName[256];
};

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

// `name` made absolute against the current folder, into `buffer` with its NUL. Answers the
// length without the NUL; when the buffer is too small, the size it needs with the NUL; 0 on
// failure. `filePart`, if given, points at the file name inside `buffer`.
DWORD GetFullPathNameA(LPCSTR name, DWORD length, char* buffer, char** filePart);
// FALSE with ERROR_ALREADY_EXISTS when the folder is there; the parent must exist.
BOOL CreateDirectoryA(LPCSTR path, void* securityAttributes);
// The entries of a folder whose names match `pattern`'s last part ('*' and '?' as wildcards),
// in no particular order; a name that starts with a dot (hidden here) matches only a pattern
// that starts with one, and "." and ".." never. INVALID_HANDLE_VALUE when none matches
// (ERROR_FILE_NOT_FOUND) or the folder cannot be read.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE find);
BOOL DeleteFileA(LPCSTR path);
// With MOVEFILE_WRITE_THROUGH the move is on the disk when it returns: a file replaced this
// way is either the old one or the new one, whole, even if the power fails.
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);

// Writes the file whole: the bytes go to "<path>.tmp", which then replaces `path` on the disk,
// so a reader finds the old contents or the new, never a part of them. FALSE leaves `path` as
// it was.
BOOL SaveFileWhole(LPCSTR path, const void* data, DWORD size);

constexpr int CSIDL_LOCAL_APPDATA = 0x001c;
constexpr int CSIDL_FLAG_CREATE = 0x8000;

// The folder `csidl` names, into `path` (MAX_PATH bytes). CSIDL_LOCAL_APPDATA is the per-user
// folder for what a program keeps on this machine: $XDG_STATE_HOME, else ~/.local/state.
// CSIDL_FLAG_CREATE makes it, with its parents, when it is missing.
HRESULT SHGetFolderPathA(HWND owner, int csidl, HANDLE token, DWORD flags, char* path);
