#include "tests/support/recording_window.h"

#include <chrono>

namespace testing_support {

int RecordingWindow::Count(UINT message) {
  platform::PumpPostedMessages();
  int count = 0;
  for (const MSG& msg : received) count += msg.message == message ? 1 : 0;
  return count;
}

bool RecordingWindow::WaitFor(UINT message, int count, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Count(message) < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    platform::WaitForPostedMessage(static_cast<DWORD>(left.count()));
  }
  return true;
}

}  // namespace testing_support
