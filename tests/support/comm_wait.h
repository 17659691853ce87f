// WaitCommEvent on another thread, with a bounded wait for it to end.
#pragma once

#include <chrono>
#include <future>

#include "platform/kernel/comm.h"

namespace testing_support {

struct WaitResult {
  BOOL ok;
  DWORD events;
};

inline std::future<WaitResult> StartWait(HANDLE port) {
  return std::async(std::launch::async, [port] {
    DWORD events = 0xFFFF;
    const BOOL ok = WaitCommEvent(port, &events, nullptr);
    return WaitResult{ok, events};
  });
}

// A wait that never ends must not hang the test run in the future's destructor, so it is
// given up on: the thread keeps nothing of the test's stack.
inline bool EndsWithin(std::future<WaitResult>& wait, std::chrono::milliseconds bound) {
  if (wait.wait_for(bound) == std::future_status::ready) return true;
  new std::future<WaitResult>(std::move(wait));
  return false;
}

}  // namespace testing_support
