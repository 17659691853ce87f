// The frame check sequence: CRC-16/X-25, the FCS-16 of HDLC.
// Reflected polynomial 0x8408, register preset 0xFFFF, complemented at the end, sent low byte first.
#pragma once

#include <array>
#include <cstddef>

#include "platform/types.h"

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

// The FCS of `count` bytes: the complemented register after all of them.
WORD ComputeFcs(const BYTE* data, std::size_t count);

}  // namespace wire
