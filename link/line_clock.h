// The clock the line is timed by: the trace's time stamps and the run's round trips.
#pragma once

#include <cstdint>

#include "platform/kernel/clock.h"

inline std::uint64_t LineClockUs() {
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  const auto counts = static_cast<std::uint64_t>(count.QuadPart);
  const auto perSecond = static_cast<std::uint64_t>(frequency.QuadPart);
  return counts / perSecond * 1000000u + counts % perSecond * 1000000u / perSecond;
}
