#include "platform/kernel/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "platform/kernel/last_error.h"
#include "platform/posix/drive_map.h"

CFile::~CFile() { Close(); }

BOOL CFile::Open(const char* path, UINT openFlags) {
  Close();
  int flags = O_CLOEXEC | ((openFlags & modeWrite) ? O_WRONLY : O_RDONLY);
  if (openFlags & modeCreate) flags |= O_CREAT | O_TRUNC;
  const std::string native = platform::posix::NativePath(path ? path : "");
  // Not blocking on a FIFO without a writer: only a regular file is taken, as CFile on Windows
  // opens no folder, pipe or device as a file either.
  const int fd = open(native.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    platform::SetLastErrorFromErrno();
    return FALSE;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  m_hFile = fd;
  return TRUE;
}

UINT CFile::Read(void* buffer, UINT count) {
  UINT done = 0;
  while (m_hFile != hFileNull && done < count) {
    const ssize_t n = read(m_hFile, static_cast<char*>(buffer) + done, count - done);
    if (n > 0) {
      done += static_cast<UINT>(n);
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  return done;
}

BOOL CFile::Write(const void* buffer, UINT count) {
  UINT done = 0;
  while (m_hFile != hFileNull && done < count) {
    const ssize_t n = write(m_hFile, static_cast<const char*>(buffer) + done, count - done);
    if (n > 0) {
      done += static_cast<UINT>(n);
    } else if (n < 0 && errno != EINTR) {
      platform::SetLastErrorFromErrno();
      return FALSE;
    }
  }
  return done == count ? TRUE : FALSE;
}

long long CFile::Seek(long long offset, UINT /*from*/) {
  if (m_hFile == hFileNull) return -1;
  return lseek(m_hFile, static_cast<off_t>(offset), SEEK_SET);
}

BOOL CFile::GetStatus(CFileStatus& status) const {
  struct stat info {};
  if (m_hFile == hFileNull || fstat(m_hFile, &info) != 0) return FALSE;
  status.m_size = static_cast<ULONG_PTR>(info.st_size);
  return TRUE;
}

void CFile::Close() {
  if (m_hFile != hFileNull) close(m_hFile);
  m_hFile = hFileNull;
}
