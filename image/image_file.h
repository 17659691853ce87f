// The reader of .bin images: a flash image whose first 64 bytes are a tagged header.
// The file is open only inside Open and ReadBlock; every block read checks the header again.
#pragma once

#include "image/image_block.h"
#include "platform/kernel/file.h"
#include "platform/kernel/text.h"

class CImageFile {
 public:
  static constexpr UINT kHeaderSize = 64;

  CImageFile() = default;
  virtual ~CImageFile();
  CImageFile(const CImageFile&) = delete;
  CImageFile& operator=(const CImageFile&) = delete;

  // Checks the header and takes its fields and the file size.
  bool Open(const CString& path);
  // Reads block `blockNumber` of the area starting at `areaStart`. A block at or beyond the
  // end of the file is read with a count of 0.
  bool ReadBlock(DWORD areaStart, DWORD blockNumber, ImageBlock* block);
  void Close();
  // After Open or ReadBlock failed: what the operator is to be told when the file could not be
  // read at all; empty when it was read and refused.
  const CString& Problem() const { return m_strProblem; }

  DWORD m_dwFirstAreaLength = 0;
  DWORD m_dwFileSize = 0;
  DWORD m_dwDisplayNumber = 0;
  DWORD m_dwLoadAddress = 0;
  CString m_strPath;
  CFile m_file;

 private:
  bool CheckHeader();
  void NoteProblem(const char* format);

  CString m_strProblem;
};
