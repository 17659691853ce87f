// The frame check sequence: CRC-16/X-25, the FCS-16 of HDLC.
// Reflected polynomial 0x8408, register preset 0xFFFF, complemented at the end, sent low byte first.
#pragma once

#include <array>
#include <cstddef>

#include "platform/kernel/types.h"

namespace wire {

constexpr WORD kFcsInit = 0xFFFF;

constexpr std::array<WORD, 256> MakeFcsTable() {
  std::array<WORD, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    WORD value = static_cast<WORD>(i);
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? static_cast<WORD>((value >> 1) ^ 0x8408) : (value >> 1);
    table[i] = value;
  }
  return table;
}

inline constexpr std::array<WORD, 256> kFcsTable = MakeFcsTable();

constexpr WORD FcsUpdate(WORD crc, BYTE b) { return static_cast<WORD>((crc >> 8) ^ kFcsTable[(crc ^ b) & 0xFF]); }

// Slice s holds the table entry for a byte followed by s zero bytes. With them eight bytes take
// eight independent look-ups instead of a chain of eight, each waiting for the one before.
constexpr std::array<std::array<WORD, 256>, 8> MakeFcsSlices() {
  std::array<std::array<WORD, 256>, 8> slices{};
  slices[0] = MakeFcsTable();
  for (std::size_t s = 1; s < slices.size(); ++s) {
    for (unsigned i = 0; i < 256; ++i) slices[s][i] = FcsUpdate(slices[s - 1][i], 0);
  }
  return slices;
}

inline constexpr std::array<std::array<WORD, 256>, 8> kFcsSlices = MakeFcsSlices();

// The register after `count` more bytes: the same as FcsUpdate byte after byte, only faster.
inline WORD FcsUpdate(WORD crc, const BYTE* data, std::size_t count) {
  for (; count >= 8; data += 8, count -= 8) {
    const unsigned first = crc ^ data[0] ^ (data[1] << 8);
    crc = static_cast<WORD>(kFcsSlices[7][first & 0xFF] ^ kFcsSlices[6][first >> 8] ^ kFcsSlices[5][data[2]] ^
                            kFcsSlices[4][data[3]] ^ kFcsSlices[3][data[4]] ^ kFcsSlices[2][data[5]] ^
                            kFcsSlices[1][data[6]] ^ kFcsSlices[0][data[7]]);
  }
  for (; count > 0; ++data, --count) crc = FcsUpdate(crc, *data);
  return crc;
}

// The FCS of `count` bytes: the complemented register after all of them.
WORD ComputeFcs(const BYTE* data, std::size_t count);

}  // namespace wire
