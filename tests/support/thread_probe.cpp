#include "tests/support/thread_probe.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <cstdlib>
#include <fstream>
#include <string>

namespace testing_support {
namespace {

bool InPoll(DWORD tid) {
  std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/syscall");
  std::string number;
  if (!(file >> number)) return false;
#ifdef SYS_poll
  if (number == std::to_string(SYS_poll)) return true;
#endif
  return number == std::to_string(SYS_ppoll);
}

}  // namespace

bool WaitUntilBlockedInPoll(DWORD tid, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!InPoll(tid)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

DWORD NewestThread() {
  DWORD newest = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks)) {
      const DWORD tid = static_cast<DWORD>(std::strtoul(entry->d_name, nullptr, 10));
      if (tid > newest) newest = tid;
    }
    closedir(tasks);
  }
  return newest;
}

long VoluntarySwitches(DWORD tid) {
  std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/status");
  std::string key;
  while (file >> key) {
    if (key == "voluntary_ctxt_switches:") {
      long count = -1;
      file >> count;
      return count;
    }
  }
  return -1;
}

bool WaitUntilBlockedAgain(DWORD tid, long switches, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (VoluntarySwitches(tid) <= switches || !InPoll(tid)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

}  // namespace testing_support
