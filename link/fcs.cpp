#include "link/fcs.h"

namespace wire {

WORD ComputeFcs(const BYTE* data, std::size_t count) {
  WORD crc = kFcsInit;
  for (std::size_t i = 0; i < count; ++i) crc = FcsUpdate(crc, data[i]);
  return static_cast<WORD>(crc ^ 0xFFFF);
}

}  // namespace wire
