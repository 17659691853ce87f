// A private settings hive for one test, installed in FLASHGATE_REGISTRY.
#pragma once

#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

class ScopedHive {
 public:
  std::string Path() const { return m_dir.File("registry.reg"); }
  const TempDir& Dir() const { return m_dir; }

 private:
  TempDir m_dir;
  ScopedEnv m_env{"FLASHGATE_REGISTRY", Path()};
};

}  // namespace testing_support
