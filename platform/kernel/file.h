// CFile: a file opened by path, read and written in bytes, over POSIX descriptors.
// Windows drive paths are mapped as platform/posix/drive_map.h says.
#pragma once

#include "platform/kernel/types.h"

struct CFileStatus {
  ULONG_PTR m_size = 0;
};

class CFile {
 public:
  // A file is opened for reading or created for writing; every file is binary, and nothing
  // is shared out.
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    shareCompat = 0x0000,
    modeCreate = 0x1000,
    typeBinary = 0x8000,
  };
  // Seeks are from the beginning of the file.
  enum SeekPosition { begin = 0 };
  static constexpr int hFileNull = -1;

  CFile() = default;
  virtual ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Answers FALSE, and leaves the file closed, when the file cannot be opened.
  virtual BOOL Open(const char* path, UINT openFlags);
  // Answers the number of bytes read: fewer than asked only at the end of the file or on an error.
  virtual UINT Read(void* buffer, UINT count);
  // Answers FALSE when not every byte could be written.
  virtual BOOL Write(const void* buffer, UINT count);
  // Answers the new position, or -1 when the seek failed.
  virtual long long Seek(long long offset, UINT from = begin);
  BOOL GetStatus(CFileStatus& status) const;
  virtual void Close();

  int m_hFile = hFileNull;
};
