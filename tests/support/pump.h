// Dispatches what is posted to the windows until a condition holds, for a bounded time.
#pragma once

#include <functional>

namespace testing_support {

// Pumps the posted messages until `done`, waiting at most timeoutMs of real time in all for
// what other threads post; true when `done` held.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);

}  // namespace testing_support
