#include "tools/handset-sim/throttle.h"

#include <algorithm>

namespace handset_sim {

std::size_t Throttle::StepBytes() const {
  if (!Enabled()) return 4096;
  return std::max<std::size_t>(1, m_baud / 10 / 100);
}

Throttle::Clock::time_point Throttle::Book(std::size_t bytes, Clock::time_point now) {
  if (!Enabled()) return now;
  const auto lineTime = std::chrono::nanoseconds(static_cast<std::int64_t>(bytes) * 10 * 1'000'000'000 / m_baud);
  m_freeAt = std::max(now, m_freeAt) + std::chrono::duration_cast<Clock::duration>(lineTime);
  return m_freeAt;
}

}  // namespace handset_sim
