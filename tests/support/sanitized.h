// Whether the tests run under a sanitizer, which slows them several times over: such builds
// run fewer rounds of the long tests, and wait longer where real time must pass.
#pragma once

namespace testing_support {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

}  // namespace testing_support
