#include "platform/kernel/last_error.h"

#include <cerrno>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

struct ErrnoMapping {
  int error;
  DWORD win32;
};

// Any other errno is ERROR_GEN_FAILURE.
constexpr ErrnoMapping kMappings[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},      {ENOTDIR, ERROR_FILE_NOT_FOUND},      {ELOOP, ERROR_FILE_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},       {EPERM, ERROR_ACCESS_DENIED},         {EBUSY, ERROR_ACCESS_DENIED},
    {EWOULDBLOCK, ERROR_ACCESS_DENIED},  {EBADF, ERROR_INVALID_HANDLE},        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EINVAL, ERROR_INVALID_PARAMETER},   {ENOTTY, ERROR_NOT_SUPPORTED},        {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENXIO, ERROR_DEVICE_NOT_CONNECTED}, {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
};

}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD error) { t_lastError = error; }

namespace platform {

DWORD Win32ErrorFromErrno(int error) {
  for (const ErrnoMapping& mapping : kMappings) {
    if (mapping.error == error) return mapping.win32;
  }
  return ERROR_GEN_FAILURE;
}

void SetLastErrorFromErrno() { SetLastError(Win32ErrorFromErrno(errno)); }

}  // namespace platform
