// Ports arriving and leaving, in a test folder that stands in for /dev: USB serial devices
// are links to pseudo-terminals there, as udev makes its nodes and serial/by-id links, and the
// port map is the test's own.
#include "platform/posix/device_watcher.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/user/device_change.h"
#include "platform/user/messages.h"
#include "tests/support/pty_port.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thread_probe.h"

namespace {

using testing_support::OpenDescriptorCount;
using testing_support::ScopedPortMap;
using testing_support::TempDir;
using Report = std::pair<bool, unsigned>;  // arrived, port
constexpr Report Arrival(unsigned port) { return {true, port}; }
constexpr Report Removal(unsigned port) { return {false, port}; }

class DeviceWatcherTest : public ::testing::Test {
 protected:
  DeviceWatcherTest() { mkdir(dev.File("serial").c_str(), 0755); }

  // `settle`: how long a new node waits for its stable name; none unless a test needs it.
  void Start(std::chrono::milliseconds settle = std::chrono::milliseconds(0)) {
    watcher = std::make_unique<platform::posix::DeviceWatcher>(
        dev.Path(), map.Directory(),
        [this](bool arrived, unsigned port) {
          std::lock_guard<std::mutex> lock(mutex);
          reports.emplace_back(arrived, port);
          changed.notify_all();
        },
        settle);
    ASSERT_TRUE(watcher->Start());
  }

  // Waits, at most five seconds, for `count` reports in all and answers them.
  std::vector<Report> Reports(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(5), [&] { return reports.size() >= count; });
    return reports;
  }

  // A USB serial device appears: its node (a link to a pseudo-terminal of its own), and its
  // stable name when it has one.
  void Plug(const std::string& node, const std::string& stableName = "") {
    terminals.push_back(std::make_unique<Terminal>());
    ASSERT_EQ(symlink(terminals.back()->path.c_str(), dev.File(node).c_str()), 0);
    if (stableName.empty()) return;
    mkdir(dev.File("serial/by-id").c_str(), 0755);
    ASSERT_EQ(symlink(("../../" + node).c_str(), dev.File("serial/by-id/" + stableName).c_str()), 0);
  }
  void Unplug(const std::string& node, const std::string& stableName = "") {
    if (!stableName.empty()) unlink(dev.File("serial/by-id/" + stableName).c_str());
    unlink(dev.File(node).c_str());
  }
  std::string LinkOf(unsigned port) const {
    char target[512] = {};
    const ssize_t n = readlink((map.Directory() + "/com" + std::to_string(port)).c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
  }

  struct Terminal {
    Terminal() {
      char name[128] = {};
      openpty(&master, &slave, name, nullptr, nullptr);
      path = name;
    }
    ~Terminal() {
      close(master);
      close(slave);
    }
    int master = -1;
    int slave = -1;
    std::string path;
  };

  TempDir dev;
  ScopedPortMap map;
  Terminal line;  // what links made by hand point at
  std::vector<std::unique_ptr<Terminal>> terminals;
  std::unique_ptr<platform::posix::DeviceWatcher> watcher;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Report> reports;
};

TEST_F(DeviceWatcherTest, NewDevicesTakeTheLowestFreeNumberFromThreeAndKeepIt) {
  const int descriptors = OpenDescriptorCount();
  Start();
  Plug("ttyACM0");
  ASSERT_EQ(Reports(1), (std::vector<Report>{Arrival(3)}));
  EXPECT_EQ(LinkOf(3), dev.File("ttyACM0"));
  Plug("ttyUSB0");
  ASSERT_EQ(Reports(2).back(), Arrival(4));
  Unplug("ttyACM0");
  ASSERT_EQ(Reports(3).back(), Removal(3));
  EXPECT_EQ(LinkOf(3), "") << "the link goes with its device";
  // A device never seen gets a number no other device has had; the one seen before, its own.
  Plug("ttyACM1");
  ASSERT_EQ(Reports(4).back(), Arrival(5));
  Plug("ttyACM0");
  ASSERT_EQ(Reports(5).back(), Arrival(3));

  watcher.reset();
  EXPECT_EQ(OpenDescriptorCount(), descriptors + 2 * static_cast<int>(terminals.size()))
      << "no descriptor or watch stays behind, only the test's terminals";
  // A watcher started again knows the numbers, and takes the devices there in silently.
  Unplug("ttyACM0");
  Unplug("ttyACM1");
  Start();
  Plug("ttyACM1");
  ASSERT_EQ(Reports(7).back(), Arrival(5));
}

// The kernel makes the node first and udev the stable name after it: a new node waits for it
// (a minute here, far longer than the test takes) and is numbered by it.
TEST_F(DeviceWatcherTest, ADeviceIsKnownByItsStableNameWhateverItsNode) {
  Start(std::chrono::minutes(1));
  Plug("ttyACM0", "usb-Korvant_Handset_42-if00");
  ASSERT_EQ(Reports(1), (std::vector<Report>{Arrival(3)}));
  EXPECT_EQ(LinkOf(3), dev.File("serial/by-id/usb-Korvant_Handset_42-if00"));
  Unplug("ttyACM0", "usb-Korvant_Handset_42-if00");
  ASSERT_EQ(Reports(2).back(), Removal(3));
  Plug("ttyUSB0", "usb-Other_Modem_7-if00");
  ASSERT_EQ(Reports(3).back(), Arrival(4));
  Plug("ttyACM1", "usb-Korvant_Handset_42-if00");
  ASSERT_EQ(Reports(4).back(), Arrival(3)) << "the same handset on another node keeps its number";
  EXPECT_EQ(Reports(4).size(), 4u) << "nothing more";
}

TEST_F(DeviceWatcherTest, LinksMadeByHandArriveAndLeaveAndKeepTheirDevice) {
  map.Publish(9, dev.File("ttyACM0"));  // made before its device is there
  Start();
  map.Publish(7, line.path);
  ASSERT_EQ(Reports(1), (std::vector<Report>{Arrival(7)}));
  Plug("ttyACM0");
  ASSERT_EQ(Reports(2).back(), Arrival(9)) << "the device the link names needs no number of its own";
  map.Unpublish(7);
  ASSERT_EQ(Reports(3).back(), Removal(7));
  Unplug("ttyACM0");
  ASSERT_EQ(Reports(4).back(), Removal(9));
  EXPECT_EQ(LinkOf(9), dev.File("ttyACM0")) << "a link made by hand stays";
  EXPECT_EQ(LinkOf(3), "");
}

TEST_F(DeviceWatcherTest, AtTheStartDevicesPresentAreTakenInAndStaleLinksClearedSilently) {
  Plug("ttyACM0");
  // Left by an earlier run for a device that has gone since.
  map.Publish(4, dev.File("ttyUSB9"));
  std::ofstream(map.Directory() + "/.numbers") << "4 " << dev.File("ttyUSB9") << "\n";
  Start();
  EXPECT_EQ(LinkOf(3), dev.File("ttyACM0"));
  EXPECT_EQ(LinkOf(4), "");
  Unplug("ttyACM0");
  ASSERT_EQ(Reports(1), (std::vector<Report>{Removal(3)})) << "the first report is the first change";
}

// Dispatches what is posted until `done`, for at most five seconds.
template <class Done>
bool PumpUntil(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    platform::WaitForPostedMessage(10);
    platform::PumpPostedMessages();
  }
  return true;
}

// Reports reach the top-level windows as WM_DEVICECHANGE on the thread that pumps messages.
class PortWindow : public testing_support::RecordingWindow {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_DEVICECHANGE) {
      const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT*>(lParam);
      EXPECT_EQ(port->dbcp_devicetype, DBT_DEVTYP_PORT);
      names.push_back(std::string(wParam == DBT_DEVICEARRIVAL ? "+" : "-") + port->dbcp_name);
    }
    return RecordingWindow::WindowProc(message, wParam, lParam);
  }
  std::vector<std::string> names;
};

TEST_F(DeviceWatcherTest, ABurstOfArrivalsAndRemovalsReachesOnlyLiveWindowsAndLeavesNothingBehind) {
  platform::PumpPostedMessages();
  const int descriptors = OpenDescriptorCount();
  ASSERT_TRUE(platform::StartDeviceNotifications(dev.Path(), map.Directory()));
  auto first = std::make_unique<PortWindow>();
  map.Publish(8, line.path);
  ASSERT_TRUE(first->WaitFor(WM_DEVICECHANGE, 1));
  EXPECT_EQ(first->names, std::vector<std::string>{"+COM8"});

  // A thousand in a row; the window that saw the first goes half way through.
  PortWindow second;
  for (int i = 0; i < 1000; ++i) {
    map.Unpublish(8);
    map.Publish(8, line.path);
    if (i == 500) first.reset();
    if (i % 100 == 0) platform::PumpPostedMessages();
  }
  map.Unpublish(8);
  ASSERT_TRUE(PumpUntil([&] { return !second.names.empty() && second.names.back() == "-COM8"; }));
  // However many were folded together, they alternate and end with the port gone.
  for (std::size_t i = 1; i < second.names.size(); ++i) EXPECT_NE(second.names[i][0], second.names[i - 1][0]);

  platform::StopDeviceNotifications();
  platform::PumpPostedMessages();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

}  // namespace
