// Looks at what another thread of this process is doing, to wait for a known state instead
// of sleeping: a thread blocked in poll() is waiting for its next event.
#pragma once

#include "platform/kernel/types.h"

namespace testing_support {

// Waits at most timeoutMs until thread `tid` is blocked in poll; false on time-out.
bool WaitUntilBlockedInPoll(DWORD tid, int timeoutMs = 2000);
// How often thread `tid` has gone to sleep of its own accord.
long VoluntarySwitches(DWORD tid);
// Waits until thread `tid` went to sleep again since `switches` was taken and now sits in
// poll: it woke for what arrived, dealt with it and waits for more.
bool WaitUntilBlockedAgain(DWORD tid, long switches, int timeoutMs = 2000);
// Waits at most timeoutMs until `flag` reads `value`; false on time-out.
template <class Flag, class Value>
bool WaitUntil(const Flag& flag, Value value, int timeoutMs = 2000);
// The thread of this process started last: the one a test has just started, found without
// touching its object, which may delete itself once the thread ends.
DWORD NewestThread();
// The number of open file descriptors of this process.
int OpenDescriptorCount();

}  // namespace testing_support

#include <chrono>
#include <thread>

template <class Flag, class Value>
bool testing_support::WaitUntil(const Flag& flag, Value value, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (flag != value) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}
