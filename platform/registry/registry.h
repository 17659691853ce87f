// The registry: keys below HKEY_LOCAL_MACHINE holding string values, reached through HKEY
// handles. Every call reads the hive file afresh and every change is saved at once, so two
// programs see each other's settings; platform/posix/hive_file.h describes the file.
//
// Functions answer a Windows error code: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a missing key
// or value, ERROR_MORE_DATA for a buffer too small, ERROR_INVALID_HANDLE for a handle that is
// not an open key, ERROR_INVALID_PARAMETER for what the hive cannot hold (values other than
// REG_SZ, names or texts with line breaks), or the error of the file operation that failed.
// Every handle may read and change its key: the access asked for is not checked.
//
// A REG_SZ value is its text up to the first NUL of the data given, and its size is the text's
// length: no terminating NUL is stored or counted, and a query copies exactly that many bytes.
#pragma once

#include <cstdint>

#include "platform/kernel/types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u));

constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
// Without a data buffer, reports the value's type and size. With one too small for the value,
// answers ERROR_MORE_DATA and the size needed, and leaves the buffer alone.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD dataSize);
// Opens the key, creating it and its missing parents. The class is not kept: the hive has no
// place for it; nor is the disposition reported.
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPCSTR keyClass, DWORD options, REGSAM desired,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
LONG RegCloseKey(HKEY key);
