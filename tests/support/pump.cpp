#include "tests/support/pump.h"

#include <chrono>

#include "platform/user/messages.h"

namespace testing_support {

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    platform::PumpPostedMessages();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    platform::WaitForPostedMessage(10);
  }
}

}  // namespace testing_support
