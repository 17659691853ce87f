// The clock seam. Everything that waits for time to pass (Sleep, tick counts, and the
// window timers built on them) asks the active clock, so tests can run a manual clock
// and advance it instead of waiting on the wall clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

#include "platform/kernel/types.h"

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint64_t NowUs() = 0;
  std::uint64_t NowMs() { return NowUs() / 1000; }
  virtual void SleepMs(DWORD ms) = 0;
};

// Monotonic time; Sleep really sleeps.
class RealClock final : public Clock {
 public:
  std::uint64_t NowUs() override;
  void SleepMs(DWORD ms) override;
};

// Time moves only when a test advances it. A Sleep advances the clock by its length and
// yields the processor, so other threads keep running while the sleeper returns at once.
class ManualClock final : public Clock {
 public:
  std::uint64_t NowUs() override { return m_now.load() * 1000; }
  void SleepMs(DWORD ms) override;
  void Advance(std::uint64_t ms) { m_now.fetch_add(ms); }
  // Runs in every Sleep, on the sleeper's thread: what the far end of a line does while the
  // sleeper waits (a handset taking in what was sent). Set it before the clock is in use.
  void OnSleep(std::function<void()> whileAsleep) { m_whileAsleep = std::move(whileAsleep); }

 private:
  std::atomic<std::uint64_t> m_now{0};
  std::function<void()> m_whileAsleep;
};

Clock& ActiveClock();
// Installs a clock for the whole process; nullptr goes back to the real clock.
void UseClock(Clock* clock);

}  // namespace platform

void Sleep(DWORD ms);
DWORD GetTickCount();

// The high-resolution counter, in counts of QueryPerformanceFrequency per second.
struct LARGE_INTEGER {
  std::int64_t QuadPart;
};
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
