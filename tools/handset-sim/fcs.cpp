#include "tools/handset-sim/fcs.h"

namespace handset_sim {

std::uint16_t Fcs16(const std::uint8_t* data, std::size_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

}  // namespace handset_sim
