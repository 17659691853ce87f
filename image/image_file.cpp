#include "image/image_file.h"

#include <cstring>

namespace {

constexpr const char* kTags[] = {"CODE", "ADLL", "RESC", "STRS"};
constexpr const char* kCheckFile = "\n Please Check bin_file !";

DWORD Le32(const BYTE* at) {
  return static_cast<DWORD>(at[0]) | (static_cast<DWORD>(at[1]) << 8) | (static_cast<DWORD>(at[2]) << 16) |
         (static_cast<DWORD>(at[3]) << 24);
}

bool HasKnownTag(const BYTE* header) {
  for (const char* tag : kTags) {
    if (std::memcmp(header, tag, 4) == 0) return true;
  }
  return false;
}

}  // namespace

void CImageFile::NoteProblem(const char* format) {
  m_strProblem.Format(format, m_strPath.GetString());
  m_strProblem += kCheckFile;
}

CImageFile::~CImageFile() { Close(); }

void CImageFile::Close() {
  if (m_file.m_hFile != CFile::hFileNull) m_file.Close();
}

bool CImageFile::CheckHeader() {
  m_strProblem.Empty();
  if (!m_file.Open(m_strPath, CFile::modeRead | CFile::shareCompat)) {
    NoteProblem(" Fail to read from %s");
    return false;
  }
  BYTE header[kHeaderSize] = {};
  // A file too short to hold a header is refused like a wrong tag, and closed either way.
  if (m_file.Read(header, kHeaderSize) != kHeaderSize || !HasKnownTag(header)) {
    Close();
    return false;
  }
  m_dwFirstAreaLength = Le32(header + 4);
  m_dwLoadAddress = Le32(header + 8);
  m_dwDisplayNumber = Le32(header + 32);
  return true;
}

bool CImageFile::Open(const CString& path) {
  m_dwFirstAreaLength = 0;
  m_dwFileSize = 0;
  m_dwDisplayNumber = 0;
  Close();
  m_strPath = path;

  if (!CheckHeader()) return false;
  CFileStatus status;
  if (m_file.GetStatus(status)) {
    m_dwFileSize = static_cast<DWORD>(status.m_size);
    Close();
    return true;
  }
  Close();
  NoteProblem(" Fail to get file info from %s");
  return false;
}

bool CImageFile::ReadBlock(DWORD areaStart, DWORD blockNumber, ImageBlock* block) {
  if (!CheckHeader()) return false;
  const DWORD offset = areaStart + blockNumber * kImageBlockDataSize;
  block->offset = offset;
  UINT count = 0;
  if (m_file.Seek(offset, CFile::begin) >= 0) count = m_file.Read(block->data, kImageBlockDataSize);
  block->count = static_cast<WORD>(count);
  Close();
  return true;
}
