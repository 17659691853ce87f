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

const char kUnauthorized[] = "Not authorized to control the device";

struct ManagerCase {
  const char* name;
  bool normal;  // a NORMAL run, whose handset comes back from its restart on COM4
  // The stand-in's options, "COMn" standing for the port's link; none: no manager on the bus.
  std::vector<std::string> manager;
  RunEnd end;
  std::string duringRun;  // what the manager was asked while the run had its port open
  std::string atEnd;      // what it was asked by the time the port is closed
  // Why the log says the manager would not let go of COM3 (and what keeps it off); none: no line.
  const char* refusal;
};

void PrintTo(const ManagerCase& c, std::ostream* out) { *out << c.name; }

class ManagerCases : public ManagedHandset, public ::testing::WithParamInterface<ManagerCase> {};

TEST_P(ManagerCases, TheManagerLetsGoOfTheHandsetForTheRun) {
  const ManagerCase& c = GetParam();
  ASSERT_TRUE(bus.Running()) << bus.Problem();
  if (c.normal) {
    StartNormalHandsetReturningOn(4);
  } else {
    StartHandset();
  }
  const std::string device = handset->SlavePath();
  if (!c.manager.empty()) {
    std::vector<std::string> options = c.manager;
    for (std::string& option : options) {
      const std::size_t port = option.find("=COM");
      if (port != std::string::npos) option.replace(port + 1, 3, ports.Directory() + "/com");
    }
    StartManager(options);
  }
  const Bytes image = MakeImage({"CODE", 3 * kBlock});
  RunChoices choices = CodeChoices(WriteImage("code.bin", image));
  if (c.normal) choices.downloadType = DownloadTypeNamed("normal");
  run.OnDownload(choices);
  if (c.normal) {
    ASSERT_TRUE(PumpUntil(
        [&] { return !handset->SlavePath().empty() && access((ports.Directory() + "/com4").c_str(), F_OK) == 0; }));
    run.FollowPort(4);
    Elapse(choices.modeChangeMs);
  }
  ASSERT_TRUE(PumpUntil([&] { return !observed.ends.empty(); }));
  EXPECT_EQ(observed.ends, std::vector<RunEnd>{c.end});
  if (c.end == RunEnd::Completed) {
    EXPECT_EQ(FlashRange(0, image.size()), image);
  }
  EXPECT_EQ(Record(), c.duringRun);

  run.OnClose();
  EXPECT_EQ(Record(), c.atEnd);
  const std::vector<std::string> refusals =
      c.refusal ? std::vector<std::string>{"ModemManager would not leave COM3 (" + device + ") alone: " + c.refusal +
                                           ". The udev rule 70-flashgate-handset.rules keeps it off the handset for "
                                           "good."}
                : std::vector<std::string>{};
  EXPECT_EQ(ManagerLines(), refusals);
}

// h: the handset's modem, d: the modem it is back as after a restart, x: another modem.
INSTANTIATE_TEST_SUITE_P(
    , ManagerCases,
    ::testing::Values(
        ManagerCase{"NotRunning", false, {}, RunEnd::Completed, "", "", nullptr},
        ManagerCase{
            "ManagingAnotherModem", false, {"--hold", "--modem", "x=/dev/null"}, RunEnd::Completed, "", "", nullptr},
        ManagerCase{"ManagingTheHandset",
                    false,
                    {"--hold", "--modem", "h=COM3"},
                    RunEnd::Completed,
                    "inhibit h\n",
                    "inhibit h\nrelease h\n",
                    nullptr},
        // The port is held by another modem of the manager's too: the open fails, and the handset's
        // modem goes back at once.
        ManagerCase{"HeldBeyondTheHandsetsModem",
                    false,
                    {"--hold", "--modem", "h=COM3", "--modem", "x=COM3"},
                    RunEnd::PortNotOpened,
                    "inhibit h\nrelease h\n",
                    "inhibit h\nrelease h\n",
                    nullptr},
        ManagerCase{"Refusing",
                    false,
                    {"--refuse", "--modem", "h=COM3"},
                    RunEnd::Completed,
                    "refuse h\n",
                    "refuse h\n",
                    kUnauthorized},
        // The refusal and the port's holder are both told, and the run does not share the port.
        ManagerCase{"RefusingWhileHoldingThePort",
                    false,
                    {"--hold", "--refuse", "--modem", "h=COM3"},
                    RunEnd::PortNotOpened,
                    "refuse h\n",
                    "refuse h\n",
                    kUnauthorized},
        // Both modems are kept until the run is over, through the restart and the port followed.
        ManagerCase{"NormalRunKeepingBothModems",
                    true,
                    {"--hold", "--modem", "h=COM3", "--modem", "d=COM4"},
                    RunEnd::Completed,
                    "inhibit h\ninhibit d\n",
                    "inhibit h\ninhibit d\nrelease h\nrelease d\n",
                    nullptr},
        // Debian's system bus lets only root call InhibitDevice; its own refusal is told in plain words.
        ManagerCase{"DeniedByTheBus",
                    false,
                    {"--bus-denies", "--modem", "h=COM3"},
                    RunEnd::Completed,
                    "refuse h\n",
                    "refuse h\n",
                    "the system bus's policy does not let this user ask it"},
        // Refused before the restart, the line outlives the log's reset after it.
        ManagerCase{"NormalRunRefused",
                    true,
                    {"--refuse", "--modem", "h=COM3"},
                    RunEnd::Completed,
                    "refuse h\n",
                    "refuse h\n",
                    kUnauthorized}),
    [](const ::testing::TestParamInfo<ManagerCase>& info) { return info.param.name; });

}  // namespace
}  // namespace testing_support
