#include "tests/support/private_bus.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/support/read_file.h"

namespace testing_support {

PrivateBus::PrivateBus() {
  const std::string config = m_dir.File("bus.conf");
  std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig>\n"
                           "  <type>session</type>\n"
                           "  <listen>unix:path="
                        << m_dir.File("bus")
                        << "</listen>\n"
                           "  <auth>EXTERNAL</auth>\n"
                           "  <policy context=\"default\">\n"
                           "    <allow send_destination=\"*\"/>\n"
                           "    <allow own=\"*\"/>\n"
                           "    <allow receive_sender=\"*\"/>\n"
                           "  </policy>\n"
                           "</busconfig>\n";
  m_daemon = std::make_unique<ChildProcess>(
      std::vector<std::string>{"/usr/bin/dbus-daemon", "--nofork", "--print-address=1", "--config-file=" + config},
      std::map<std::string, std::string>{}, m_dir.File("address"), m_dir.File("daemon.err"));
  m_address = AwaitFirstLine(m_dir.File("address"), 10000);
  if (!m_address) {
    m_problem = "dbus-daemon did not come up: " + ReadWholeFile(m_dir.File("daemon.err"));
    return;
  }
  m_env = std::make_unique<ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", *m_address);
}

std::optional<std::string> AwaitFirstLine(const std::string& path, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const std::string text = ReadWholeFile(path);
    const std::size_t end = text.find('\n');
    if (end != std::string::npos) return text.substr(0, end);
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace testing_support
