// Byte strings for tests: a pattern that shows where every byte came from.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/kernel/types.h"

namespace testing_support {

using Bytes = std::vector<BYTE>;

// Bytes whose value depends on their position, so a lost, doubled or swapped byte shows.
inline Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i ^ (i >> 8) ^ (i >> 16));
  return bytes;
}

}  // namespace testing_support
