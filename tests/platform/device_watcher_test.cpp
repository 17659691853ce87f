// Ports arriving and leaving, in a test folder that stands in for /dev: USB serial devices
// are links to pseudo-terminals there, as udev makes its nodes and its serial/by-id and
// serial/by-path links, and the port map is the test's own.
#include "platform/posix/device_watcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/kernel/comm.h"
#include "platform/posix/map_records.h"
#include "platform/posix/port_map.h"
#include "platform/user/device_change.h"
#include "platform/user/messages.h"
#include "tests/support/pty_port.h"
#include "tests/support/pump.h"
#include "tests/support/read_file.h"
#include "tests/support/recording_window.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thread_probe.h"

namespace {

using testing_support::ReadWholeFile;

using namespace std::chrono_literals;
using testing_support::OpenDescriptorCount;
using testing_support::PtyPair;
using testing_support::PumpUntil;
using testing_support::ScopedEnv;
using testing_support::ScopedPortMap;
using testing_support::TempDir;
using Report = std::pair<bool, unsigned>;  // arrived, port
constexpr Report Arrival(unsigned port) { return {true, port}; }
constexpr Report Removal(unsigned port) { return {false, port}; }

// A handset as udev names it: its node, its serial/by-id name (maker, model, serial number) and
// its serial/by-path name (the USB socket it is plugged into).
struct Handset {
  std::string node;
  std::string byId;
  std::string byPath;
};

Handset HandsetNo(int i) {
  return {"ttyACM" + std::to_string(i), "usb-Korvant_Handset_" + std::to_string(40 + i) + "-if00",
          "pci-0000:00:14.0-usb-0:" + std::to_string(i + 1) + ":1.0"};
}

// Waits, at most five seconds, until `done`; for what the watcher does to the folders.
bool Eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// udev's part, with its real delays, on a thread of its own; done when it goes.
class Udev {
 public:
  explicit Udev(std::function<void()> work) : m_thread(std::move(work)) {}
  ~Udev() { m_thread.join(); }
  Udev(const Udev&) = delete;
  Udev& operator=(const Udev&) = delete;

 private:
  std::thread m_thread;
};

// A watcher and the reports it made, in order.
class Watcher {
 public:
  Watcher(const std::string& deviceDir, const std::string& mapDir, std::chrono::milliseconds settle)
      : m_watcher(
            deviceDir, mapDir,
            [this](bool arrived, unsigned port) {
              std::lock_guard<std::mutex> lock(m_mutex);
              m_reports.emplace_back(arrived, port);
              m_changed.notify_all();
            },
            settle) {}

  bool Start() { return m_watcher.Start(); }
  unsigned long Rescans() const { return m_watcher.Rescans(); }

  // Waits, at most five seconds, for `count` reports in all and answers them.
  std::vector<Report> Reports(std::size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, 5s, [&] { return m_reports.size() >= count; });
    return m_reports;
  }

  // Waits, at most five seconds, until the watcher has read the folders no more for `quiet`:
  // it dealt with what changed and sleeps until something else does.
  bool SettlesDown(std::chrono::milliseconds quiet = 300ms) const {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (unsigned long before = m_watcher.Rescans(); std::chrono::steady_clock::now() < deadline;) {
      std::this_thread::sleep_for(quiet);
      const unsigned long now = m_watcher.Rescans();
      if (now == before) return true;
      before = now;
    }
    return false;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Report> m_reports;
  platform::posix::DeviceWatcher m_watcher;  // last: its thread ends before the rest goes
};

class DeviceWatcherTest : public ::testing::Test {
 protected:
  DeviceWatcherTest() { mkdir(dev.File("serial").c_str(), 0755); }

  // `settle`: how long a new node waits for its names; none for devices that have none.
  void Start(std::chrono::milliseconds settle = 2s) {
    watcher = std::make_unique<Watcher>(dev.Path(), map.Directory(), settle);
    ASSERT_TRUE(watcher->Start());
  }
  std::vector<Report> Reports(std::size_t count) { return watcher->Reports(count); }

  // A USB serial device's node appears: a link to a pseudo-terminal of its own.
  void MakeNode(const std::string& node) {
    terminals.push_back(std::make_unique<PtyPair>());
    EXPECT_EQ(symlink(terminals.back()->SlavePath().c_str(), dev.File(node).c_str()), 0);
  }
  // udev's name of a node in serial/<kind>, relative as udev makes it.
  void MakeSerialLink(const std::string& kind, const std::string& name, const std::string& node) {
    mkdir(dev.File("serial/" + kind).c_str(), 0755);
    EXPECT_EQ(symlink(("../../" + node).c_str(), SerialLink(kind, name).c_str()), 0);
  }
  std::string SerialLink(const std::string& kind, const std::string& name) const {
    return dev.File("serial/" + kind + "/" + name);
  }
  void Plug(const std::string& node) { MakeNode(node); }
  void Plug(const Handset& handset) {
    MakeNode(handset.node);
    MakeSerialLink("by-id", handset.byId, handset.node);
    MakeSerialLink("by-path", handset.byPath, handset.node);
  }
  void Unplug(const std::string& node) { unlink(dev.File(node).c_str()); }
  void Unplug(const Handset& handset) {
    unlink(SerialLink("by-id", handset.byId).c_str());
    unlink(SerialLink("by-path", handset.byPath).c_str());
    Unplug(handset.node);
  }
  std::string ById(const Handset& handset) const { return SerialLink("by-id", handset.byId); }
  std::string LinkOf(unsigned port) const { return platform::posix::LinkTarget(PortLink(port)); }
  std::string PortLink(unsigned port) const { return map.Directory() + "/com" + std::to_string(port); }
  // Replaces a link in one step, as `ln -sfn` does.
  void ReplaceLink(unsigned port, const std::string& target) const {
    const std::string temporary = map.Directory() + "/by-hand";
    ASSERT_EQ(symlink(target.c_str(), temporary.c_str()), 0);
    ASSERT_EQ(rename(temporary.c_str(), PortLink(port).c_str()), 0);
  }

  TempDir dev;
  ScopedEnv devDir{"FLASHGATE_DEV_DIR", dev.Path()};
  ScopedPortMap map;
  PtyPair line;  // what links made by hand point at
  std::vector<std::unique_ptr<PtyPair>> terminals;
  std::unique_ptr<Watcher> watcher;
};

TEST_F(DeviceWatcherTest, NewDevicesTakeTheLowestFreeNumberFromThreeAndKeepIt) {
  const int descriptors = OpenDescriptorCount();
  Start(0ms);
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
  // Its number taken meanwhile by a link made by hand, a device coming back gets the lowest
  // free one, and the hand-made link stays as it is.
  Unplug("ttyACM0");
  ASSERT_EQ(Reports(6).back(), Removal(3));
  map.Publish(3, line.SlavePath());
  ASSERT_EQ(Reports(7).back(), Arrival(3));
  Plug("ttyACM0");
  ASSERT_EQ(Reports(8).back(), Arrival(6));
  EXPECT_EQ(LinkOf(3), line.SlavePath());

  watcher.reset();
  EXPECT_EQ(OpenDescriptorCount(), descriptors + 2 * static_cast<int>(terminals.size()))
      << "no descriptor or watch stays behind, only the test's terminals";
  // A watcher started again knows the numbers, and takes the devices there in silently.
  Unplug("ttyACM0");
  Unplug("ttyACM1");
  Start(0ms);
  Plug("ttyACM1");
  ASSERT_EQ(Reports(1), (std::vector<Report>{Arrival(5)}));
}

// udev makes the node first and its names a moment later, and on removal takes the names
// first: the watcher waits for both names, numbers the handset by its by-id name, tells its
// socket from the first report on, and sleeps once it is done, past the longest a node may
// wait too. It waits no longer than that.
TEST_F(DeviceWatcherTest, AHandsetIsNumberedOnceUdevHasNamedItAndTheWatcherThenSleeps) {
  struct Case {
    const char* what;
    std::chrono::milliseconds byId, byPath;  // after the node
  };
  const Case cases[] = {
      {"by-id first", 50ms, 400ms},
      {"by-path first", 500ms, 100ms},
  };
  constexpr auto kSettle = 700ms;
  Start(kSettle);
  std::size_t reports = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Handset handset = HandsetNo(0);
    MakeNode(handset.node);
    {
      const Udev udev([&] {
        const bool idFirst = c.byId <= c.byPath;
        std::this_thread::sleep_for(std::min(c.byId, c.byPath));
        MakeSerialLink(idFirst ? "by-id" : "by-path", idFirst ? handset.byId : handset.byPath, handset.node);
        std::this_thread::sleep_for(idFirst ? c.byPath - c.byId : c.byId - c.byPath);
        MakeSerialLink(idFirst ? "by-path" : "by-id", idFirst ? handset.byPath : handset.byId, handset.node);
      });
      ASSERT_EQ(Reports(++reports).back(), Arrival(3));
      EXPECT_EQ(LinkOf(3), ById(handset));
      EXPECT_EQ(std::string(platform::QueryPortLocation("COM3")), SerialLink("by-path", handset.byPath))
          << "the socket is known as soon as the port is";
    }
    EXPECT_TRUE(watcher->SettlesDown(kSettle + 100ms)) << "no rescans while the handset sits there";

    unlink(SerialLink("by-path", handset.byPath).c_str());
    unlink(ById(handset).c_str());
    {
      const Udev udev([&] {
        std::this_thread::sleep_for(std::max(c.byId, c.byPath));
        Unplug(handset.node);
      });
      ASSERT_EQ(Reports(++reports).back(), Removal(3));
    }
    EXPECT_TRUE(watcher->SettlesDown()) << "nor once it has gone";
    EXPECT_EQ(Reports(reports).size(), reports) << "one arrival and one removal";
    EXPECT_EQ(LinkOf(3), "");
  }

  // A by-id name later than the watcher waits: numbered by its node, and the link moves on.
  const Handset late = HandsetNo(1);
  MakeNode(late.node);
  {
    const Udev udev([&] {
      MakeSerialLink("by-path", late.byPath, late.node);
      std::this_thread::sleep_for(kSettle + 200ms);
      MakeSerialLink("by-id", late.byId, late.node);
    });
    ASSERT_EQ(Reports(++reports).back(), Arrival(4)) << "3 is kept for the first handset";
    EXPECT_EQ(LinkOf(4), dev.File(late.node));
  }
  EXPECT_TRUE(Eventually([&] { return LinkOf(4) == ById(late); }));
  EXPECT_TRUE(watcher->SettlesDown());
  EXPECT_EQ(Reports(reports).size(), reports) << "the port stays as it was";
  EXPECT_EQ(ReadWholeFile(map.Directory() + "/.numbers"), "3 " + ById(HandsetNo(0)) + "\n4 " + ById(late) + "\n");
}

// The kernel makes the node first and udev the names after it: a new node waits for them
// (a minute here, far longer than the test takes) and is numbered by its by-id name.
TEST_F(DeviceWatcherTest, ADeviceIsKnownByItsStableNameWhateverItsNode) {
  Start(1min);
  const Handset handset = HandsetNo(2);
  Plug(handset);
  ASSERT_EQ(Reports(1), (std::vector<Report>{Arrival(3)}));
  EXPECT_EQ(LinkOf(3), ById(handset));
  Unplug(handset);
  ASSERT_EQ(Reports(2).back(), Removal(3));
  Plug(Handset{"ttyUSB0", "usb-Other_Modem_7-if00", "pci-0000:00:14.0-usb-0:9:1.0"});
  ASSERT_EQ(Reports(3).back(), Arrival(4));
  Plug(Handset{"ttyACM1", handset.byId, "pci-0000:00:14.0-usb-0:5:1.0"});
  ASSERT_EQ(Reports(4).back(), Arrival(3)) << "the same handset on another node and socket keeps its number";
  EXPECT_TRUE(watcher->SettlesDown());
  EXPECT_EQ(Reports(4).size(), 4u) << "nothing more";
}

TEST_F(DeviceWatcherTest, LinksMadeByHandArriveAndLeaveAndKeepTheirDevice) {
  map.Publish(9, dev.File("ttyACM0"));  // made before its device is there
  Start(0ms);
  map.Publish(7, line.SlavePath());
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

// However a link made by hand names a handset that has a by-id name, it is neither moved to
// that name nor removed when the handset goes: only links a watcher made are its own.
TEST_F(DeviceWatcherTest, LinksMadeByHandToANamedHandsetAreNeverMovedOrRemoved) {
  struct Case {
    const char* what;
    unsigned port;
    std::string target;
    bool beforePlug;  // else it replaces the watcher's own link while the handset is there
  };
  const Handset handset = HandsetNo(1);
  const Case cases[] = {
      {"to the node, before the plug", 5, dev.File(handset.node), true},
      {"to the by-id name, before the plug", 6, ById(handset), true},
      {"over the watcher's own", 3, dev.File(handset.node), false},
  };
  Start();
  std::size_t reports = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string& target = c.target;
    if (c.beforePlug) map.Publish(c.port, target);
    Plug(handset);
    ASSERT_EQ(Reports(++reports).back(), Arrival(c.port));
    if (!c.beforePlug) ReplaceLink(c.port, target);
    EXPECT_TRUE(watcher->SettlesDown());
    EXPECT_EQ(LinkOf(c.port), target);
    Unplug(handset);
    ASSERT_EQ(Reports(++reports).back(), Removal(c.port)) << testing::PrintToString(Reports(reports));
    EXPECT_TRUE(watcher->SettlesDown());
    EXPECT_EQ(LinkOf(c.port), target) << "a link made by hand stays as it was";
    EXPECT_EQ(Reports(reports).size(), reports);
    map.Unpublish(c.port);
    ASSERT_EQ(Reports(reports).size(), reports) << "a link to nothing leaves silently";
  }
}

TEST_F(DeviceWatcherTest, AtTheStartDevicesPresentAreTakenInAndStaleLinksClearedSilently) {
  Plug("ttyACM0");
  // Left by an earlier run for a device that has gone since.
  map.Publish(4, dev.File("ttyUSB9"));
  std::ofstream(map.Directory() + "/.own-links") << "4 " << dev.File("ttyUSB9") << "\n";
  Start();
  EXPECT_EQ(LinkOf(3), dev.File("ttyACM0"));
  EXPECT_EQ(LinkOf(4), "");
  Unplug("ttyACM0");
  ASSERT_EQ(Reports(1), (std::vector<Report>{Removal(3)})) << "the first report is the first change";
}

// Stations side by side share one map: the watchers change it in turn, each from what it holds
// when its turn comes, so one device never gets two numbers and no number is lost.
TEST_F(DeviceWatcherTest, TwoWatchersOnOneMapGiveEightHandsetsArrivingAtOnceOneNumberEach) {
  Start();
  Watcher other(dev.Path(), map.Directory(), 2s);
  ASSERT_TRUE(other.Start());
  constexpr int kHandsets = 8;
  constexpr unsigned kThirdStationsPort = 20;
  const std::string first = ById(HandsetNo(0));
  {
    // A third station holds the map while the handsets arrive, and numbers the first itself.
    const platform::posix::MapLock third(map.Directory());
    // A watcher that did not wait would number the first handset too: two numbers for it.
    const unsigned long before[] = {watcher->Rescans(), other.Rescans()};
    for (int i = 0; i < kHandsets; ++i) Plug(HandsetNo(i));
    ASSERT_TRUE(Eventually([&] { return watcher->Rescans() > before[0] && other.Rescans() > before[1]; }));
    map.Publish(kThirdStationsPort, first);
    std::ofstream(map.Directory() + "/.numbers") << kThirdStationsPort << ' ' << first << "\n";
    std::ofstream(map.Directory() + "/.own-links") << kThirdStationsPort << ' ' << first << "\n";
  }

  std::set<Report> expected = {Arrival(kThirdStationsPort)};
  std::string numbers;
  for (int i = 1; i < kHandsets; ++i) {
    const unsigned port = 2 + static_cast<unsigned>(i);
    expected.insert(Arrival(port));
    numbers += std::to_string(port) + " " + ById(HandsetNo(i)) + "\n";
  }
  numbers += std::to_string(kThirdStationsPort) + " " + first + "\n";
  for (Watcher* each : {watcher.get(), &other}) {
    const std::vector<Report> reports = each->Reports(kHandsets);
    EXPECT_EQ(std::set<Report>(reports.begin(), reports.end()), expected);
    EXPECT_TRUE(each->SettlesDown());
    EXPECT_EQ(each->Reports(kHandsets).size(), static_cast<std::size_t>(kHandsets)) << "each port once";
  }
  EXPECT_EQ(ReadWholeFile(map.Directory() + "/.numbers"), numbers) << "every handset once, by its by-id name";
  EXPECT_EQ(ReadWholeFile(map.Directory() + "/.own-links"), numbers) << "and a link of its own for each";
}

// A station stopped while it held the map keeps no other from its ports: a watcher waits for
// the map a moment only, reports the ports it finds meanwhile, and numbers a new device once the
// map is free again.
TEST_F(DeviceWatcherTest, AMapHeldByAStoppedStationDelaysOnlyTheNumbering) {
  std::optional<platform::posix::MapLock> stopped(std::in_place, map.Directory());
  ASSERT_TRUE(stopped->Held());
  Start();
  map.Publish(7, line.SlavePath());
  ASSERT_EQ(Reports(1), (std::vector<Report>{Arrival(7)}));
  Plug(HandsetNo(0));
  stopped.reset();
  ASSERT_EQ(Reports(2).back(), Arrival(3));
  EXPECT_EQ(LinkOf(3), ById(HandsetNo(0)));
}

TEST_F(DeviceWatcherTest, TheMapFolderRemovedWhileRunningIsMadeAgainAndKeepsItsNumbers) {
  Start();
  Plug(HandsetNo(0));
  ASSERT_EQ(Reports(1).back(), Arrival(3));
  Unplug(HandsetNo(0));
  ASSERT_EQ(Reports(2).back(), Removal(3));
  ASSERT_TRUE(watcher->SettlesDown());  // else the folder may be in use while it is removed

  std::filesystem::remove_all(map.Directory());
  ASSERT_TRUE(Eventually([&] { return ModeOf(map.Directory()) == 0700; })) << "made again, private";
  Plug(HandsetNo(1));
  ASSERT_EQ(Reports(3).back(), Arrival(4)) << "3 is still the first handset's";
  Plug(HandsetNo(0));
  ASSERT_EQ(Reports(4).back(), Arrival(3));
  EXPECT_EQ(ReadWholeFile(map.Directory() + "/.numbers"),
            "3 " + ById(HandsetNo(0)) + "\n4 " + ById(HandsetNo(1)) + "\n");
}

TEST_F(DeviceWatcherTest, AMalformedLineOfTheNumbersIsSkippedAndTheLinesAfterItKept) {
  const std::string known = ById(HandsetNo(0));
  const std::string later = ById(HandsetNo(1));
  std::ofstream(map.Directory() + "/.numbers") << "5 " << known << "\n"
                                               << "not a number\n"
                                               << "7\n"
                                               << "8 \n"
                                               << " 9 /dev/ttyUSB9\n"
                                               << "300 /dev/ttyUSB8\n"
                                               << "0 /dev/ttyUSB7\n"
                                               << "2 /dev/ttyUSB6\n"
                                               << "6 " << later << "\n";
  Start();
  Plug(HandsetNo(1));
  ASSERT_EQ(Reports(1).back(), Arrival(6));
  Plug(HandsetNo(0));
  ASSERT_EQ(Reports(2).back(), Arrival(5));
  Plug(HandsetNo(2));
  ASSERT_EQ(Reports(3).back(), Arrival(3)) << "2 is no number a device is given";
  EXPECT_EQ(ReadWholeFile(map.Directory() + "/.numbers"),
            "3 " + ById(HandsetNo(2)) + "\n5 " + known + "\n6 " + later + "\n");
}

TEST_F(DeviceWatcherTest, PortsUpTo255AreNumberedAndRemembered) {
  const std::pair<const char*, unsigned> names[] = {
      {"com1", 1},     {"com9", 9},     {"com10", 10},  {"com99", 99}, {"com100", 100},
      {"com255", 255}, {"com256", 0},   {"com0", 0},    {"com07", 0},  {"com", 0},
      {"COM3", 0},     {"com3.new", 0}, {"com1000", 0}, {"com2x", 0},  {".numbers", 0},
  };
  for (const auto& [name, port] : names) EXPECT_EQ(platform::posix::PortOfLinkName(name), port) << name;

  for (unsigned port = 3; port < 255; ++port) map.Publish(port, line.SlavePath());
  Start();
  Plug(HandsetNo(0));
  ASSERT_EQ(Reports(1), (std::vector<Report>{Arrival(255)}));
  EXPECT_EQ(LinkOf(255), ById(HandsetNo(0)));
  Plug(HandsetNo(1));
  EXPECT_TRUE(watcher->SettlesDown()) << "a device no number is left for waits for none";
  EXPECT_EQ(Reports(1).size(), 1u);

  watcher.reset();
  Unplug(HandsetNo(0));
  unlink(PortLink(255).c_str());
  map.Unpublish(100);
  Start();
  EXPECT_EQ(LinkOf(100), ById(HandsetNo(1))) << "taken in at the start";
  Plug(HandsetNo(0));
  ASSERT_EQ(Reports(1), (std::vector<Report>{Arrival(255)})) << "its number, with its link gone";
}

TEST_F(DeviceWatcherTest, QueryPortLocationNamesTheSocketOfThePortsDevice) {
  for (int i = 0; i < 4; ++i) MakeNode(HandsetNo(i).node);
  for (const int i : {0, 1, 3}) MakeSerialLink("by-path", HandsetNo(i).byPath, HandsetNo(i).node);
  MakeSerialLink("by-id", HandsetNo(0).byId, HandsetNo(0).node);
  MakeSerialLink("by-id", HandsetNo(3).byId, HandsetNo(3).node);
  map.Publish(3, ById(HandsetNo(0)));
  map.Publish(4, dev.File(HandsetNo(1).node));
  map.Publish(5, dev.File(HandsetNo(2).node));  // a device without a socket's name
  map.Publish(6, dev.File("ttyACM9"));          // no device
  map.Publish(7, line.SlavePath());             // no USB device
  map.Publish(200, ById(HandsetNo(3)));
  const std::pair<const char*, std::string> cases[] = {
      {"COM3", SerialLink("by-path", HandsetNo(0).byPath)},
      {"com3", SerialLink("by-path", HandsetNo(0).byPath)},
      {"COM4", SerialLink("by-path", HandsetNo(1).byPath)},
      {"COM200", SerialLink("by-path", HandsetNo(3).byPath)},
      {"COM5", ""},
      {"COM6", ""},
      {"COM7", ""},
      {"COM8", ""},
      {"COM0", ""},
      {"COM256", ""},
      {"LPT1", ""},
  };
  for (const auto& [port, location] : cases)
    EXPECT_EQ(std::string(platform::QueryPortLocation(port)), location) << port;
  EXPECT_EQ(std::string(platform::QueryPortLocation(nullptr)), "");
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
  map.Publish(8, line.SlavePath());
  ASSERT_TRUE(first->WaitFor(WM_DEVICECHANGE, 1));
  EXPECT_EQ(first->names, std::vector<std::string>{"+COM8"});

  // A thousand in a row; the window that saw the first goes half way through.
  PortWindow second;
  for (int i = 0; i < 1000; ++i) {
    map.Unpublish(8);
    map.Publish(8, line.SlavePath());
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

// The system's folders: a fresh account has no ~/.config yet, and the map folder is made with
// every folder above it that is missing, private to the user. When that cannot be done, the
// reason is kept for the operator.
TEST_F(DeviceWatcherTest, NotificationsStartOnAFreshAccountOrSayWhyNot) {
  struct Case {
    const char* what;
    std::function<void(const TempDir& home)> prepare;
    std::string failure;  // with <home> for the home folder; empty when they start
    mode_t config;        // of ~/.config once they run
  };
  const std::string ports = "/.config/flashgate/ports";
  const Case cases[] = {
      {"~/.config is a file", [](const TempDir& home) { std::ofstream(home.File(".config")) << "x"; },
       "Cannot make the port folder <home>" + ports + ": Not a directory.", 0},
      {"a fresh account", [](const TempDir&) {}, "", 0700},
      {"no device folder", [](const TempDir& home) { setenv("FLASHGATE_DEV_DIR", home.File("dev").c_str(), 1); },
       "Cannot watch the device folder <home>/dev: No such file or directory.", 0},
      {"~/.config there already, as it is", [](const TempDir& home) { mkdir(home.File(".config").c_str(), 0755); }, "",
       0755},
  };
  const ScopedEnv defaultMap("FLASHGATE_PORTS_DIR", nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir home;
    const ScopedEnv homeDir("HOME", home.Path());
    const ScopedEnv devices("FLASHGATE_DEV_DIR", dev.Path());
    c.prepare(home);
    const bool started = platform::StartDeviceNotifications();
    std::string failure = c.failure;
    if (const std::size_t at = failure.find("<home>"); at != std::string::npos) failure.replace(at, 6, home.Path());
    EXPECT_EQ(platform::DeviceNotificationsFailure(), failure);
    if (!failure.empty()) {
      EXPECT_FALSE(started);
      continue;
    }
    ASSERT_TRUE(started);
    EXPECT_EQ(ModeOf(home.File(".config")), c.config);
    EXPECT_EQ(ModeOf(home.File(".config/flashgate")), 0700u);
    EXPECT_EQ(ModeOf(home.File(".config/flashgate/ports")), 0700u);
    PortWindow window;
    const Handset handset = HandsetNo(0);
    Plug(handset);
    EXPECT_TRUE(PumpUntil([&] { return window.names == std::vector<std::string>{"+COM3"}; }));
    EXPECT_EQ(platform::posix::LinkTarget(home.File(".config/flashgate/ports/com3")), ById(handset));
    platform::StopDeviceNotifications();
    Unplug(handset);
  }
}

}  // namespace
