// Sets or unsets an environment variable for one scope and puts back what was there before.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>

namespace testing_support {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    if (const char* previous = std::getenv(name)) m_previous = previous;
    setenv(name, value.c_str(), 1);
  }
  // Unset for the scope.
  ScopedEnv(const char* name, std::nullptr_t) : m_name(name) {
    if (const char* previous = std::getenv(name)) m_previous = previous;
    unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_previous) {
      setenv(m_name.c_str(), m_previous->c_str(), 1);
    } else {
      unsetenv(m_name.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_previous;
};

}  // namespace testing_support
