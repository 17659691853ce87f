// A private settings hive for one test, installed in FLASHGATE_REGISTRY.
#pragma once

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace testing_support {

class ScopedHive {
 public:
  ScopedHive() {
    if (const char* previous = std::getenv("FLASHGATE_REGISTRY")) {
      m_previous = previous;
      m_hadPrevious = true;
    }
    setenv("FLASHGATE_REGISTRY", Path().c_str(), 1);
  }
  ~ScopedHive() {
    if (m_hadPrevious) {
      setenv("FLASHGATE_REGISTRY", m_previous.c_str(), 1);
    } else {
      unsetenv("FLASHGATE_REGISTRY");
    }
  }
  ScopedHive(const ScopedHive&) = delete;
  ScopedHive& operator=(const ScopedHive&) = delete;

  std::string Path() const { return m_dir.File("registry.reg"); }
  const TempDir& Dir() const { return m_dir; }

 private:
  TempDir m_dir;
  std::string m_previous;
  bool m_hadPrevious = false;
};

}  // namespace testing_support
