// The simulator plugged into a listening socket, as QEMU's USB serial device takes it: the test
// plays the machine, and the connection is the cable.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/tools/host_line.h"
#include "tools/handset-sim/options.h"
#include "tools/handset-sim/simulator.h"

namespace handset_sim_test {
namespace {

using std::chrono::milliseconds;

// A descriptor that is closed with the object.
struct Fd {
  explicit Fd(int value) : value(value) {}
  ~Fd() {
    if (value >= 0) close(value);
  }
  int value;
};

int Listen(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(listen(fd, 1), 0);
  return fd;
}

// The next connection within two seconds, or -1.
int Accept(int listener) {
  pollfd ready{listener, POLLIN, 0};
  return poll(&ready, 1, 2000) == 1 ? accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
}

// What the line carries within two seconds, at most `count` bytes; empty at the end of the line.
Bytes Receive(int fd, std::size_t count) {
  Bytes bytes(count);
  pollfd ready{fd, POLLIN, 0};
  const ssize_t n = poll(&ready, 1, 2000) == 1 ? read(fd, bytes.data(), count) : -1;
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return bytes;
}

TEST(SimulatorOnSocket, ConnectsToPlugInAndClosesToPullTheCable) {
  TempDir dir;
  handset_sim::ProgramOptions options;
  std::string error;
  ASSERT_TRUE(
      handset_sim::ParseOptions({"--socket", dir.Path() + "/usb0.sock", "--return-delay", "50"}, &options, &error))
      << error;
  const Fd listener(Listen(options.config.socketPath));
  handset_sim::Simulator simulator(options.config);
  ASSERT_TRUE(simulator.Start(&error)) << error;

  const Fd plugged(Accept(listener.value));
  ASSERT_GE(plugged.value, 0) << "the handset never plugged in";
  ASSERT_EQ(write(plugged.value, kHelloFrame.data(), kHelloFrame.size()), static_cast<ssize_t>(kHelloFrame.size()));
  EXPECT_EQ(Receive(plugged.value, 64), kAckFrame);

  simulator.TriggerUnplug();
  EXPECT_EQ(Receive(plugged.value, 64), Bytes{}) << "the cable is still in";
  {
    const Fd back(Accept(listener.value));
    ASSERT_GE(back.value, 0) << "the handset never came back into its socket";
    ASSERT_TRUE(simulator.WaitForReturns(1, milliseconds(2000)));
    EXPECT_EQ(simulator.SlavePath(), options.config.socketPath);
    // The machine stops reading, then goes: the answer's write fails without a signal that would
    // end the process, and the closing pulls the cable.
    ASSERT_EQ(shutdown(back.value, SHUT_RD), 0);
    ASSERT_EQ(write(back.value, kHelloFrame.data(), kHelloFrame.size()), static_cast<ssize_t>(kHelloFrame.size()));
    ASSERT_TRUE(simulator.WaitForRequests(2, milliseconds(2000)));
  }
  EXPECT_TRUE(simulator.WaitForDropOffs(2, milliseconds(2000))) << "the machine's closing went unnoticed";
  simulator.Stop();
}

}  // namespace
}  // namespace handset_sim_test
