// A program run by a test: its own environment on top of the test's, standard output and error
// into files, and bounded waits for its end. A child still running when the object goes is
// killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& command, const std::map<std::string, std::string>& environment,
               const std::string& outPath, const std::string& errPath);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }
  // The exit code, or -signal for a child ended by a signal; nothing if it is still running
  // after `timeout`.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  void Signal(int signal) const;

 private:
  pid_t m_pid = -1;
  std::optional<int> m_status;
};

}  // namespace testing_support
