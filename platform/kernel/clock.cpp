#include "platform/kernel/clock.h"

#include <chrono>
#include <thread>

namespace platform {
namespace {

RealClock g_realClock;
std::atomic<Clock*> g_activeClock{&g_realClock};

}  // namespace

std::uint64_t RealClock::NowUs() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(since).count());
}

void RealClock::SleepMs(DWORD ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ManualClock::SleepMs(DWORD ms) {
  m_now.fetch_add(ms);
  if (m_whileAsleep) m_whileAsleep();
  std::this_thread::yield();
}

Clock& ActiveClock() { return *g_activeClock.load(); }

void UseClock(Clock* clock) { g_activeClock.store(clock ? clock : &g_realClock); }

}  // namespace platform

void Sleep(DWORD ms) { platform::ActiveClock().SleepMs(ms); }

DWORD GetTickCount() { return static_cast<DWORD>(platform::ActiveClock().NowMs()); }

// Microseconds of the active clock: a manual clock moves the counter as it moves the ticks.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  count->QuadPart = static_cast<std::int64_t>(platform::ActiveClock().NowUs());
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = 1000000;
  return TRUE;
}
