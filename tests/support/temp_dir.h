// A private directory for one test, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "tests/support/scoped_env.h"

namespace testing_support {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/flashgate-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Points drive C at a directory for one test.
class ScopedDriveC {
 public:
  explicit ScopedDriveC(const std::string& dir) : m_env("FLASHGATE_DRIVE_C", dir) {}

 private:
  ScopedEnv m_env;
};

}  // namespace testing_support
