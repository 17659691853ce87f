// A private directory for one test, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

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
  explicit ScopedDriveC(const std::string& dir) {
    if (const char* previous = std::getenv("FLASHGATE_DRIVE_C")) {
      m_previous = previous;
      m_hadPrevious = true;
    }
    setenv("FLASHGATE_DRIVE_C", dir.c_str(), 1);
  }
  ~ScopedDriveC() {
    if (m_hadPrevious) {
      setenv("FLASHGATE_DRIVE_C", m_previous.c_str(), 1);
    } else {
      unsetenv("FLASHGATE_DRIVE_C");
    }
  }
  ScopedDriveC(const ScopedDriveC&) = delete;
  ScopedDriveC& operator=(const ScopedDriveC&) = delete;

 private:
  std::string m_previous;
  bool m_hadPrevious = false;
};

}  // namespace testing_support
