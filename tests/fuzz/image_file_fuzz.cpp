// libFuzzer target: CImageFile over arbitrary files. Each input is written to a file and
// opened and read block by block; the reader's answers are checked against what the bytes say.
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/image_file.h"
#include "platform/user/message_box.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "image reader fault: %s\n", what);
  std::abort();
}

std::uint32_t Le32(const std::uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

bool KnownTag(const std::uint8_t* data) {
  for (const char* tag : {"CODE", "ADLL", "RESC", "STRS"}) {
    if (std::memcmp(data, tag, 4) == 0) return true;
  }
  return false;
}

// One file for the whole run, rewritten for each input.
const std::string& ScratchPath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/flashgate-image-fuzz-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) Fail("no scratch file");
    close(fd);
    return std::string(pattern);
  }();
  return path;
}

void WriteScratch(const std::uint8_t* data, std::size_t size) {
  FILE* file = std::fopen(ScratchPath().c_str(), "wb");
  if (!file) Fail("scratch file not opened");
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) Fail("scratch file not written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quietBoxes = [] {
    platform::SetMessageBoxHandler([](const platform::MessageBoxRequest&) { return IDOK; });
    return true;
  }();
  (void)quietBoxes;

  WriteScratch(data, size);
  CImageFile image;
  const bool accepted = image.Open(CString(ScratchPath().c_str()));
  const bool acceptable = size >= CImageFile::kHeaderSize && KnownTag(data);
  if (accepted != acceptable) Fail("Open accepted the wrong files");
  if (image.m_file.m_hFile != CFile::hFileNull) Fail("Open left the file open");
  if (!accepted) return 0;
  if (image.m_dwFileSize != size || image.m_dwFirstAreaLength != Le32(data + 4) ||
      image.m_dwLoadAddress != Le32(data + 8) || image.m_dwDisplayNumber != Le32(data + 32)) {
    Fail("header fields or size misread");
  }

  // Blocks from a start taken from the header, as the run reads its areas.
  ImageBlock block;
  const DWORD areaStart = image.m_dwFirstAreaLength % (static_cast<DWORD>(size) + 1);
  for (DWORD number = 0; number < 4; ++number) {
    std::memset(&block, 0xCC, sizeof block);
    if (!image.ReadBlock(areaStart, number, &block)) Fail("ReadBlock refused an accepted file");
    const std::uint64_t offset = static_cast<std::uint64_t>(areaStart) + number * kImageBlockDataSize;
    const std::size_t expected = offset >= size ? 0 : std::min<std::size_t>(kImageBlockDataSize, size - offset);
    if (block.offset != offset || block.count != expected) Fail("block offset or count wrong");
    if (expected && std::memcmp(block.data, data + offset, expected) != 0) Fail("block data wrong");
    if (image.m_file.m_hFile != CFile::hFileNull) Fail("ReadBlock left the file open");
  }
  return 0;
}
