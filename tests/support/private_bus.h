// A D-Bus message bus of the test's own (dbus-daemon with a configuration of ours), standing
// in for the system bus: DBUS_SYSTEM_BUS_ADDRESS names it for the test and the programs it
// starts while the object lives. Services on it are whatever the test starts there.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

class PrivateBus {
 public:
  PrivateBus();
  // Whether the bus came up; `Problem()` says why not.
  bool Running() const { return m_address.has_value(); }
  const std::string& Problem() const { return m_problem; }
  const std::string& Address() const { return *m_address; }

 private:
  TempDir m_dir;
  std::unique_ptr<ChildProcess> m_daemon;
  std::optional<std::string> m_address;
  std::string m_problem;
  std::unique_ptr<ScopedEnv> m_env;
};

// Waits (at most `timeoutMs`) until the file at `path` holds a whole line; answers the first.
std::optional<std::string> AwaitFirstLine(const std::string& path, int timeoutMs);

}  // namespace testing_support
