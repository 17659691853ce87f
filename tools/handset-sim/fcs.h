// The frame check sequence: CRC-16/X-25 (reflected polynomial 0x8408, initial value 0xFFFF,
// final XOR 0xFFFF). Computed bit by bit, independently of the host's table, so that the two
// ends of a link check each other.
#pragma once

#include <cstddef>
#include <cstdint>

namespace handset_sim {

std::uint16_t Fcs16(const std::uint8_t* data, std::size_t count);

}  // namespace handset_sim
