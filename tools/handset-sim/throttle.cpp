#include "tools/handset-sim/throttle.h"

#include <algorithm>

namespace handset_sim {

std::size_t Throttle::StepBytes() const {
  if (!Enabled()) return 4096;
  return std::max<std::size_t>(1, m_baud / 10 / 100);
}

Throttle::Clock::duration Throttle::LineTime(std::size_t bytes) const {
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(static_cast<std::int64_t>(bytes) * 10 * 1'000'000'000 / m_baud));
}

Throttle::Clock::time_point Throttle::Book(std::size_t bytes, Clock::time_point now) {
  if (!Enabled()) return now;
  const bool backToBack = m_backlog && now - m_freeAt <= LineTime(StepBytes());
  m_freeAt = (backToBack ? m_freeAt : std::max(now, m_freeAt)) + LineTime(bytes);
  m_backlog = bytes >= StepBytes();
  return m_freeAt;
}

}  // namespace handset_sim
