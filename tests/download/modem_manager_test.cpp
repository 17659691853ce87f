// ModemManager kept off the handset: a run asks the manager on the system bus to inhibit the
// modem whose port it opens, before it opens it, and gives it back once the port is closed.
// The manager here is a stand-in on the test's own bus that, as the real one does, holds a
// modem's port open until it is inhibited: a run that opened the port first would find it held.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "tests/download/hosted_run.h"
#include "tests/support/child_process.h"
#include "tests/support/private_bus.h"
#include "tests/support/read_file.h"

namespace testing_support {
namespace {

const char kHandsetUid[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-3";
constexpr DWORD kBlock = 8192;

class ManagedHandset : public HostedRun {
 protected:
  // Starts the stand-in manager with `arguments` and waits until it is on the bus.
  void StartManager(std::vector<std::string> arguments) {
    ASSERT_TRUE(bus.Running()) << bus.Problem();
    arguments.insert(arguments.begin(), {MODEM_MANAGER_STAND_IN, "--record", files.File("manager.record")});
    manager = std::make_unique<ChildProcess>(arguments, std::map<std::string, std::string>{}, files.File("manager.out"),
                                             files.File("manager.err"));
    ASSERT_EQ(AwaitFirstLine(files.File("manager.out"), 10000), "ready") << ReadWholeFile(files.File("manager.err"));
  }

  std::string Record() const { return ReadWholeFile(files.File("manager.record")); }

  // The log's lines about the manager.
  std::vector<std::string> ManagerLines() const {
    std::vector<std::string> lines;
    for (const LogLine& line : view.log) {
      if (line.text.rfind("ModemManager", 0) == 0) lines.push_back(line.text);
    }
    return lines;
  }

  PrivateBus bus;
  std::unique_ptr<ChildProcess> manager;
};

const std::string kInhibit = std::string("inhibit ") + kHandsetUid + "\n";
const std::string kRelease = std::string("release ") + kHandsetUid + "\n";
const std::string kRefuse = std::string("refuse ") + kHandsetUid + "\n";

struct ManagerCase {
  const char* name;
  std::vector<std::string> manager;  // the stand-in's options; none: no manager on the bus
  RunEnd end;
  std::string duringRun;  // what the manager was asked while the run had its port open
  std::string atEnd;      // what it was asked by the time the port is closed
  bool refusalLogged;     // the log says the manager would not let go, and names the udev rule
};

class ManagerCases : public ManagedHandset, public ::testing::WithParamInterface<ManagerCase> {};

TEST_P(ManagerCases, TheManagerLetsGoOfTheHandsetForTheRun) {
  const ManagerCase& c = GetParam();
  StartHandset();
  const std::string device = handset->SlavePath();
  if (!c.manager.empty()) {
    std::vector<std::string> options = c.manager;
    for (std::string& option : options) {
      if (option == "HANDSET") option = std::string(kHandsetUid) + "=" + device;
    }
    StartManager(options);
  }
  const Bytes image = MakeImage({"CODE", 3 * kBlock});
  run.OnDownload(CodeChoices(WriteImage("code.bin", image)));
  ASSERT_TRUE(PumpUntil([&] { return !observed.ends.empty(); }));
  EXPECT_EQ(observed.ends, std::vector<RunEnd>{c.end});
  if (c.end == RunEnd::Completed) {
    EXPECT_EQ(FlashRange(0, image.size()), image);
  }
  EXPECT_EQ(Record(), c.duringRun);

  run.OnClose();
  EXPECT_EQ(Record(), c.atEnd);
  const std::vector<std::string> lines = ManagerLines();
  if (c.refusalLogged) {
    const std::string refused = "ModemManager would not leave COM3 (" + device +
                                ") alone: Not authorized to control the device. The udev rule "
                                "70-flashgate-handset.rules (in ";
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(refused, 0), 0u) << lines[0];
  } else {
    EXPECT_TRUE(lines.empty()) << lines[0];
  }
}

// A manager that refuses and holds the port on: the run does not share it, and says both.
INSTANTIATE_TEST_SUITE_P(
    , ManagerCases,
    ::testing::Values(
        ManagerCase{"NotRunning", {}, RunEnd::Completed, "", "", false},
        ManagerCase{
            "ManagingAnotherModem", {"--hold", "--modem", "/sys/other=/dev/null"}, RunEnd::Completed, "", "", false},
        ManagerCase{"ManagingTheHandset",
                    {"--hold", "--modem", "HANDSET"},
                    RunEnd::Completed,
                    kInhibit,
                    kInhibit + kRelease,
                    false},
        ManagerCase{"Refusing", {"--refuse", "--modem", "HANDSET"}, RunEnd::Completed, kRefuse, kRefuse, true},
        ManagerCase{"RefusingWhileHoldingThePort",
                    {"--hold", "--refuse", "--modem", "HANDSET"},
                    RunEnd::PortNotOpened,
                    kRefuse,
                    kRefuse,
                    true}),
    [](const ::testing::TestParamInfo<ManagerCase>& info) { return info.param.name; });

// A NORMAL handset comes back from its restart as a new modem on another port: the run keeps
// the manager off both until it is over.
TEST_F(ManagedHandset, ANormalRunKeepsTheManagerOffTheModemItFollows) {
  StartNormalHandsetReturningOn(4);
  StartManager({"--hold", "--modem", "normal=" + ports.Directory() + "/com3", "--modem",
                "download=" + ports.Directory() + "/com4"});
  RunChoices choices = CodeChoices(WriteImage("code.bin", MakeImage({"CODE", 3 * kBlock})));
  choices.downloadType = DownloadTypeNamed("normal");
  run.OnDownload(choices);
  EXPECT_EQ(Record(), "inhibit normal\n");
  ASSERT_TRUE(PumpUntil(
      [&] { return !handset->SlavePath().empty() && access((ports.Directory() + "/com4").c_str(), F_OK) == 0; }));
  run.FollowPort(4);
  Elapse(choices.modeChangeMs);
  ASSERT_TRUE(PumpUntil([&] { return !observed.ends.empty(); }));
  EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::Completed});
  EXPECT_EQ(Record(), "inhibit normal\ninhibit download\n");
  run.OnClose();
  EXPECT_EQ(Record(), "inhibit normal\ninhibit download\nrelease normal\nrelease download\n");
}

}  // namespace
}  // namespace testing_support
