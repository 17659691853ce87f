// .bin images for runs, written for the test: the 64-byte tagged header, then bytes that show
// where each one came from.
#pragma once

#include <fstream>
#include <string>

#include "tests/support/bytes.h"

namespace testing_support {

// The load address of a first area that is the boot area.
constexpr DWORD kBootMarker = 0xFFFF0000u;

struct ImageLayout {
  const char* tag = "CODE";
  DWORD size = 0;
  DWORD firstAreaLength = 0;  // 0: the whole file
  DWORD loadAddress = 0;
  BYTE salt = 0;            // mixed into every byte, so that images of one size differ
  DWORD displayNumber = 0;  // the version the window shows
};

inline Bytes MakeImage(const ImageLayout& layout) {
  Bytes bytes = Pattern(layout.size);
  for (BYTE& byte : bytes) byte ^= layout.salt;
  const auto putLe32 = [&bytes](std::size_t at, DWORD value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
  };
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(layout.tag[i]);
  putLe32(4, layout.firstAreaLength ? layout.firstAreaLength : layout.size);
  putLe32(8, layout.loadAddress);
  putLe32(32, layout.displayNumber);
  return bytes;
}

// Writes `bytes` as the whole of `path`.
inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testing_support
