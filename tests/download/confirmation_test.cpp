// Nothing is called a success that the handset did not confirm: a handset that hangs after a
// NAK, a block whose answer never came, a handset that does not come back from its mode change,
// and the run after such a run, in the window and as a station's batch run.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "link/commands.h"
#include "platform/kernel/clock.h"
#include "platform/user/device_change.h"
#include "platform/user/ui_system.h"
#include "records/sha256.h"
#include "resources/resource.h"
#include "tests/download/run_fixture.h"
#include "tests/support/read_file.h"
#include "tests/support/sanitized.h"
#include "tests/support/scoped_env.h"
#include "tools/handset-sim/fault_schedule.h"
#include "ui/batch_station.h"
#include "ui/json_events.h"
#include "ui/run_recorder.h"
#include "ui/settings.h"

namespace testing_support {
namespace {

using handset_sim::Fault;
using handset_sim::FaultRule;

constexpr DWORD kBlock = 8192;
constexpr std::uint64_t kFirstBlockRequest = 7;  // hello, copy, baud, reset, hello, erase, block 0

FaultRule Nak(std::uint64_t at) { return FaultRule{Fault::Nak, NAK_BAD_CRC, at, 0.0}; }
FaultRule Silence(std::uint64_t at) { return FaultRule{Fault::Silence, 0, at, 0.0}; }

std::string LineStarting(const std::string& text, const std::string& prefix) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return "<no " + prefix + ">";
}

// Standard output and standard error of a batch run, kept in memory.
class Captured {
 public:
  Captured() : m_file(open_memstream(&m_buffer, &m_size)) {}
  ~Captured() {
    std::fclose(m_file);
    std::free(m_buffer);
  }
  Captured(const Captured&) = delete;
  Captured& operator=(const Captured&) = delete;

  std::FILE* File() const { return m_file; }
  std::string Text() const {
    std::fflush(m_file);
    return std::string(m_buffer, m_size);
  }

 private:
  char* m_buffer = nullptr;
  std::size_t m_size = 0;
  std::FILE* m_file;
};

// What a batch run prints, there before its station is made.
struct BatchOutput {
  Captured out;
  Captured err;
};

// A station's run in the fixture: the station answers the boxes and the reconnection question
// itself, and the test moves the clock.
class BatchRun : protected BatchOutput, public HandsetBench {
 protected:
  BatchRun() { station.AddRunObserver(&observed); }

  // Starts the station as the program does, with `operate` dispatching and moving the clock in
  // place of the program's message loop; then closes it.
  void RunBatch(const Preselection& pick, const std::function<void()>& operate) {
    station.Start(pick);
    operate();
    station.Close();
  }

  // Moves the clock on by `step` until the batch run has ended, at most `steps` times.
  bool ElapseUntilEnded(DWORD step, int steps) {
    const auto ended = [this] { return station.ExitCode() != EXIT_FAILED; };
    for (int i = 0; i < steps && !ended(); ++i) {
      Elapse(step);
      PumpUntil(ended, 100);
    }
    return ended();
  }

  // Lets the handset answer and the run take up every answer; then moves the clock to the next
  // timer due. False if the run never ended.
  bool DriveToTheEnd() {
    const auto ended = [this] { return station.ExitCode() != EXIT_FAILED; };
    for (int step = 0; step < 400 && !ended(); ++step) {
      if (handset) handset->WaitForInputTaken(std::chrono::seconds(2));
      if (platform::WaitForPostedMessage(kQuietMs)) {
        platform::PumpPostedMessages();
        continue;
      }
      const std::optional<std::uint64_t> due = platform::NextTimerDue();
      if (!due) return false;
      const std::uint64_t now = platform::ActiveClock().NowUs() / 1000;
      Elapse(static_cast<DWORD>(*due > now ? *due - now : 0));
    }
    return ended();
  }

  // Real time in which nothing arriving means nothing is on its way: an answer in pieces has
  // gaps of a few milliseconds.
  static constexpr DWORD kQuietMs = kSanitized ? 100 : 25;

  CBatchStation station{CommandLine{}, out.File(), err.File()};
};

// The handset refuses block 1 and then says nothing more, its port still open. The station
// reconnects once; when that brings no answer at all it stops, long before its stall guard.
TEST_F(BatchRun, AHandsetThatHangsAfterANakIsNeverCalledFlashed) {
  handset_sim::Config config;
  config.faults = {Nak(kFirstBlockRequest + 1)};
  config.hangAt = kFirstBlockRequest + 1;
  StartHandset(config);
  const Bytes image = MakeImage({"CODE", 6 * kBlock});
  CRunRecorder recorder{RecordStore(files.File("records"))};
  station.AddRunObserver(&recorder);
  Preselection pick;
  pick.codePath = WriteImage("PHONE.bin", image);
  pick.start = true;

  RunBatch(pick, [&] {
    const DWORD started = GetTickCount();
    ASSERT_TRUE(PumpUntilRequests(kFirstBlockRequest + 1));
    ASSERT_TRUE(ElapseUntilEnded(kRetryTimeoutMs, 10));
    EXPECT_LT(GetTickCount() - started, 30000u) << "ended by the reconnections, not by the stall guard";
  });
  station.RemoveRunObserver(&recorder);

  EXPECT_EQ(station.ExitCode(), EXIT_RECONNECT_FAILED) << err.Text();
  const std::string errors = err.Text();
  EXPECT_NE(errors.find("[reconnecting to the handset]\n[not reconnecting: the handset said nothing since the "
                        "last reconnection]\nflashgate: the reconnection was declined"),
            std::string::npos)
      << errors;
  EXPECT_EQ(out.Text().find("Download Completed."), std::string::npos);
  const std::string record = ReadWholeFile(recorder.LastRecordPath());
  EXPECT_EQ(LineStarting(record, "End:"), "End:            the reconnection was declined");
  EXPECT_EQ(LineStarting(record, "Unconfirmed:"), "Unconfirmed:    0x2000 to 0x9fff (4 blocks)");
  EXPECT_EQ(FlashRange(0, kBlock), Bytes(image.begin(), image.begin() + kBlock)) << "block 0 went in";
  EXPECT_EQ(FlashRange(kBlock, kBlock), Bytes(kBlock, 0xFF)) << "nothing after the NAK reached the flash";
}

// A large area on a slow flash part takes minutes to erase, and the handset says nothing
// meanwhile: the stall guard waits for the erase's own deadline, which ends the run with its own
// reason if the erase never finishes.
class EraseDeadline : public BatchRun, public ::testing::WithParamInterface<bool> {};

TEST_P(EraseDeadline, StandsInForTheStallGuard) {
  const bool finishes = GetParam();
  handset_sim::Config config;
  config.faults = {Silence(kFirstBlockRequest - 1)};
  StartHandset(config);
  Preselection pick;
  pick.codePath = WriteImage("PHONE.bin", MakeImage({"CODE", 2 * kBlock}));
  pick.start = true;

  RunBatch(pick, [&] {
    ASSERT_TRUE(PumpUntilRequests(kFirstBlockRequest - 1));
    Elapse(240000);
    ASSERT_EQ(station.ExitCode(), EXIT_FAILED) << "still erasing after four minutes: " << err.Text();
    if (finishes) {
      handset->AnswerNow(ACK);
      ASSERT_TRUE(PumpUntil([&] { return station.ExitCode() != EXIT_FAILED; }));
    } else {
      ASSERT_TRUE(ElapseUntilEnded(60000, 1));
    }
  });

  if (finishes) {
    EXPECT_EQ(station.ExitCode(), EXIT_COMPLETED) << err.Text();
  } else {
    EXPECT_EQ(station.ExitCode(), EXIT_NO_ANSWER);
    EXPECT_NE(err.Text().find("flashgate: no answer from the handset: the handset did not finish the erase in 300 s\n"),
              std::string::npos)
        << err.Text();
  }
}

INSTANTIATE_TEST_SUITE_P(BatchRun, EraseDeadline, ::testing::Bool());

// A handset falls silent in the middle of the blocks, refuses the block half a minute later
// and then hangs. Its refusal, and the lines the run writes about it, are no progress: the
// stall guard ends the station's run a minute after the last block the handset confirmed.
TEST_F(BatchRun, RefusalsAndTheRunsOwnLinesDoNotHoldOffTheStallGuard) {
  handset_sim::Config config;
  config.faults = {Silence(kFirstBlockRequest + 1), Nak(kFirstBlockRequest + 2)};
  config.hangAt = kFirstBlockRequest + 2;
  StartHandset(config);
  Preselection pick;
  pick.codePath = WriteImage("PHONE.bin", MakeImage({"CODE", 4 * kBlock}));
  pick.start = true;

  RunBatch(pick, [&] {
    ASSERT_TRUE(PumpUntilRequests(kFirstBlockRequest + 1));
    Elapse(30000);
    handset->AnswerNow(NAK_FAILED);
    ASSERT_TRUE(PumpUntilRequests(kFirstBlockRequest + 3)) << "refused again, then resent into the hang";
    ASSERT_TRUE(ElapseUntilEnded(30000, 1));
  });

  EXPECT_EQ(station.ExitCode(), EXIT_NO_ANSWER) << err.Text();
  EXPECT_NE(err.Text().find("flashgate: the handset has confirmed nothing for 60 s\n"), std::string::npos)
      << err.Text();
}

// How a run moves on past blocks the handset never answered and so ends its last area.
struct UnansweredEnd {
  const char* name;
  std::vector<FaultRule> faults;
  int retries;       // expiries of the retry timer before the area ends
  bool reconnects;   // the last of them asks whether to reconnect
  const char* line;  // the red line that ends the report
  const char* unconfirmed;
};

void PrintTo(const UnansweredEnd& end, std::ostream* out) { *out << end.name; }

class UnansweredEnds : public DownloadRun, public ::testing::WithParamInterface<UnansweredEnd> {};

// The handset refuses a block and withholds the answers that follow, though it writes what it
// is sent. The run goes on to the end; the blocks the handset never confirmed are named, the
// report comes once however the modal boxes nest, and the next run in the same window starts
// afresh: framed blocks from block 0, nothing unconfirmed, none of the first run's mishaps.
TEST_P(UnansweredEnds, NameTheBlocksTheHandsetNeverConfirmedAndReportOnce) {
  const UnansweredEnd& end = GetParam();
  constexpr int kBlocks = 4;
  handset_sim::Config config;
  config.faults = end.faults;
  StartHandset(config);
  const Bytes image = MakeImage({"CODE", kBlocks * kBlock});
  const std::string path = WriteImage("PHONE.bin", image);
  CRunRecorder recorder{RecordStore(files.File("records"))};
  dialog.AddRunObserver(&recorder);
  // As on a screen, the box is modal: the reset's answer and the final report come under it.
  platform::MessageBoxHandler recorded;
  recorded = platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& box) {
    const int answer = recorded(box);
    if (box.text == "Download Completed.") PumpUntilBox("Downloading completed\n");
    return answer;
  });
  const LogLine unconfirmed{end.line, COLOR_ERROR, false};

  RunDialog([&] {
    SelectCode(path);
    PressDownload();
    std::uint64_t request = end.faults.front().atRequest;
    for (int retry = 1; retry <= end.retries; ++retry) {
      ASSERT_TRUE(PumpUntilRequests(++request));
      if (end.reconnects && retry == end.retries) {
        script.Then([](CDialog&) {
          // The old receive thread's end arrives while the question is open.
          platform::PumpPostedMessages();
          return IDOK;
        });
      }
      Elapse(kRetryTimeoutMs);
    }
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
    // Whatever the handlers under the boxes armed, nothing more is awaited.
    Elapse(kFinalResetTimeoutMs);
    EXPECT_EQ(std::count_if(boxes.boxes.begin(), boxes.boxes.end(),
                            [](const platform::MessageBoxRequest& box) {
                              return box.text.str().rfind("Downloading completed\n", 0) == 0;
                            }),
              1)
        << "one final report";
    EXPECT_EQ(Log().back(), unconfirmed);
    EXPECT_EQ(FlashRange(0, image.size()), image) << "the data did land";
    EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::CompletedUnconfirmed});
    const std::string record = ReadWholeFile(recorder.LastRecordPath());
    EXPECT_EQ(LineStarting(record, "End:"),
              "End:            download completed, not all of it confirmed by the handset");
    EXPECT_EQ(LineStarting(record, "Unconfirmed:"), std::string("Unconfirmed:    ") + end.unconfirmed);

    // The handset is plugged in again and downloaded anew.
    handset->TriggerUnplug();
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_DOWNLOAD); }));
    ASSERT_TRUE(handset->WaitForReturns(1, std::chrono::seconds(5)));
    const std::size_t before = handset->Log().size();
    PressDownload();
    ASSERT_TRUE(PumpUntil([&] { return observed.ends.size() == 2; }));
    EXPECT_EQ(observed.ends.back(), RunEnd::Completed);
    EXPECT_FALSE(LogHas(unconfirmed));
    const std::vector<handset_sim::LogEntry> requests = handset->Log();
    std::vector<DWORD> offsets;
    for (std::size_t i = before; i < requests.size(); ++i) {
      if (requests[i].kind == handset_sim::LogEntry::Kind::Raw) ADD_FAILURE() << "a bare block in the second run";
      if (requests[i].code == CMD_WRITE) offsets.push_back(requests[i].offset);
    }
    EXPECT_EQ(offsets, (std::vector<DWORD>{0, kBlock, 2 * kBlock, 3 * kBlock}));
    EXPECT_EQ(LineStarting(ReadWholeFile(recorder.LastRecordPath()), "Unconfirmed:"), "<no Unconfirmed:>");
    const std::string page = ReadWholeFile(recorder.LastReportPath());
    for (const char* mark : {"<line class=\"nak\"", "<line class=\"silence\"", "<line class=\"reconnection\""}) {
      EXPECT_EQ(page.find(mark), std::string::npos) << "the first run's mishap on the second run's page: " << mark;
    }
  });
  platform::SetMessageBoxHandler(recorded);
  dialog.RemoveRunObserver(&recorder);
}

constexpr std::uint64_t kLastOfFour = kFirstBlockRequest + 3;
constexpr std::uint64_t kSecondOfFour = kFirstBlockRequest + 1;

INSTANTIATE_TEST_SUITE_P(
    DownloadRun, UnansweredEnds,
    ::testing::Values(
        // The retry after silence ends the last area.
        UnansweredEnd{"AfterSilence",
                      {Nak(kLastOfFour), Silence(kLastOfFour + 1)},
                      1,
                      false,
                      "The handset did not confirm 1 of 4 blocks (the first at 0x6000): download it again.",
                      "0x6000 (1 block)"},
        // The reconnection ends it.
        UnansweredEnd{
            "AfterAReconnection",
            {Nak(kSecondOfFour), Silence(kSecondOfFour + 1), Silence(kSecondOfFour + 2), Silence(kSecondOfFour + 3)},
            3,
            true,
            "The handset did not confirm 3 of 4 blocks (the first at 0x2000): download it again.",
            "0x2000 to 0x7fff (3 blocks)"}),
    [](const ::testing::TestParamInfo<UnansweredEnd>& info) { return std::string(info.param.name); });

// A reconnection at the reset step sends the reset under the answer timer and then arms the
// retry timer: only the retry timer may run, or the answer timer's expiry three seconds later
// would give the run up while the handset is still answering.
TEST_F(DownloadRun, AReconnectionLeavesOneTimerRunning) {
  constexpr std::uint64_t kBaud = 3;
  handset_sim::Config config;
  // The baud request is refused, its resend and the two retries go unanswered.
  config.faults = {Nak(kBaud), Silence(kBaud + 1), Silence(kBaud + 2), Silence(kBaud + 3), Silence(kBaud + 4)};
  StartHandset(config);
  RunDialog([&] {
    SelectCode(WriteImage("PHONE.bin", MakeImage({"CODE", 2 * kBlock})));
    PressDownload();
    ASSERT_TRUE(SilenceUntilReconnection(kBaud + 1, kBaud + 3));
    ASSERT_TRUE(PumpUntilRequests(kBaud + 4)) << "the reset after the reconnection";
    EXPECT_EQ(dialog.m_run.State().step, STEP_HELLO);
    Elapse(kAnswerTimeoutMs);
    EXPECT_FALSE(LogHas({"응답이 없습니다.", COLOR_ERROR, false}));
    EXPECT_TRUE(observed.ends.empty());
  });
}

// A handset told to restart in download mode never comes back: the run ends as a port that
// could not be opened, not as a silent handset.
TEST_F(BatchRun, ANormalHandsetThatNeverComesBackIsAPortNotOpened) {
  UseNormalType();
  handset_sim::Config config;
  config.mode = handset_sim::Mode::Normal;
  config.comesBack = false;
  StartHandset(config);
  CRunRecorder recorder{RecordStore(files.File("records"))};
  station.AddRunObserver(&recorder);
  Preselection pick;
  pick.codePath = WriteImage("PHONE.bin", MakeImage({"CODE", 2 * kBlock}));
  pick.start = true;

  RunBatch(pick, [&] {
    ASSERT_TRUE(PumpUntil([&] { return handset->WaitForDropOffs(1, std::chrono::milliseconds(0)); }));
    ASSERT_TRUE(ElapseUntilEnded(kModeChangeMs, 2));
  });
  station.RemoveRunObserver(&recorder);

  EXPECT_EQ(station.ExitCode(), EXIT_PORT_NOT_OPENED) << err.Text();
  EXPECT_EQ(LineStarting(ReadWholeFile(recorder.LastRecordPath()), "End:"),
            "End:            the port could not be opened");
}

// A stored download type that is none of the types: the station says why and ends at once,
// where it would otherwise start nothing and wait for its stall guard.
TEST_F(BatchRun, AStoredTypeThatIsNoTypeEndsTheStationAtOnce) {
  WriteRegInt(kDownloadTypeValue, 2);
  StartHandset();
  CRunRecorder recorder{RecordStore(files.File("records"))};
  station.AddRunObserver(&recorder);
  Preselection pick;
  pick.codePath = WriteImage("PHONE.bin", MakeImage({"CODE", kBlock}));
  pick.start = true;

  // The clock stands still: the stall guard cannot be what ends it.
  RunBatch(pick, [&] { EXPECT_TRUE(PumpUntil([&] { return station.ExitCode() != EXIT_FAILED; })); });
  station.RemoveRunObserver(&recorder);

  EXPECT_EQ(station.ExitCode(), EXIT_REFUSED) << err.Text();
  EXPECT_NE(err.Text().find("flashgate: no download type was chosen: Download Type을 선택하세요!\n"), std::string::npos)
      << err.Text();
  const std::string record = ReadWholeFile(recorder.LastRecordPath());
  EXPECT_EQ(LineStarting(record, "Download type:"), "Download type:  none");
  EXPECT_EQ(LineStarting(record, "End:"), "End:            no download type was chosen");
  EXPECT_TRUE(handset->Log().empty()) << handset_sim::FormatLog(handset->Log());
}

// The handset restarts into download mode, and while it does so another handset is plugged in
// elsewhere. With no socket to tell them apart, the station takes neither: it ends instead of
// writing one station's image into another station's handset.
TEST_F(BatchRun, AStationThatCannotTellItsHandsetAmongTwoArrivalsTakesNeither) {
  StartNormalHandsetReturningOn(7);
  TempDir devices;
  ASSERT_TRUE(platform::StartDeviceNotifications(devices.Path(), ports.Directory()));
  handset_sim::Config elsewhere;
  elsewhere.port = 8;
  elsewhere.portsDir = ports.Directory();
  handset_sim::Simulator other(elsewhere);
  Preselection pick;
  pick.codePath = WriteImage("PHONE.bin", MakeImage({"CODE", 2 * kBlock}));
  pick.start = true;

  RunBatch(pick, [&] {
    ASSERT_TRUE(PumpUntil([&] { return err.Text().find("[following the handset to COM7]") != std::string::npos; }));
    std::string error;
    ASSERT_TRUE(other.Start(&error)) << error;
    ASSERT_TRUE(PumpUntil([&] { return err.Text().find("[COM8 arrived: not taken]") != std::string::npos; }));
    ASSERT_TRUE(ElapseUntilEnded(kModeChangeMs, 2));
  });
  platform::StopDeviceNotifications();

  EXPECT_EQ(station.ExitCode(), EXIT_PORT_NOT_OPENED);
  EXPECT_NE(err.Text().find("flashgate: the port could not be opened: COM7 and COM8 arrived while the handset "
                            "restarted, and no socket tells which one is this station's\n"),
            std::string::npos)
      << err.Text();
  EXPECT_EQ(handset->Log().size(), 1u) << "the AT command, nothing after it";
  EXPECT_TRUE(other.Log().empty());
}

// A NORMAL handset back at once in its socket: a station told to wait two seconds for it goes on
// then, not after the window's ten, and the run's own answers carry it to the end.
TEST_F(BatchRun, AStationGoesOnOnceItsHandsetIsBackAndItsWaitIsOver) {
  TempDir devices;
  ScopedEnv deviceDir("FLASHGATE_DEV_DIR", devices.Path());
  ASSERT_TRUE(platform::StartDeviceNotifications(devices.Path(), ports.Directory()));
  UseNormalType();
  handset_sim::Config config;
  config.mode = handset_sim::Mode::Normal;
  config.devDir = devices.Path();
  config.node = "ttyACM0";
  config.returnNode = "ttyACM1";
  config.byId = "usb-Korvant_Handset-if00";
  config.returnById = "usb-Korvant_Download-if00";
  config.byPath = "pci-0000:00:14.0-usb-0:1:1.0";
  config.udevDelay = std::chrono::milliseconds(0);
  config.returnDelay = std::chrono::milliseconds(0);
  StartHandset(config);
  ASSERT_TRUE(PumpUntil([&] { return access((ports.Directory() + "/com3").c_str(), F_OK) == 0; }));
  CommandLine line;
  line.modeWaitSeconds = 2;
  CBatchStation quick(line, out.File(), err.File());
  Preselection pick;
  pick.codePath = WriteImage("PHONE.bin", MakeImage({"CODE", 2 * kBlock}));
  const DWORD started = GetTickCount();

  quick.Start(pick);
  ASSERT_TRUE(PumpUntil([&] { return err.Text().find("[following the handset to COM4]") != std::string::npos; }));
  Elapse(1000);
  EXPECT_FALSE(handset->WaitForRequests(2, std::chrono::milliseconds(200))) << "the station still waits";
  Elapse(1000);
  ASSERT_TRUE(PumpUntil([&] { return quick.ExitCode() != EXIT_FAILED; })) << err.Text();
  quick.Close();
  platform::StopDeviceNotifications();

  EXPECT_EQ(quick.ExitCode(), EXIT_COMPLETED) << err.Text();
  EXPECT_LT(GetTickCount() - started, kModeChangeMs) << "the whole run took less than the window's wait";
}

struct StreamedRun {
  const char* name;
  bool normal;  // the handset restarts into download mode, on COM7
  std::vector<FaultRule> faults;
  const char* outcome;
  int exitCode;
  const char* unconfirmed;  // the end's list, as JSON
};

void PrintTo(const StreamedRun& run, std::ostream* out) { *out << run.name; }

class EventStream : public BatchRun, public ::testing::WithParamInterface<StreamedRun> {};

// A station's script reads the run as JSON Lines: the stream agrees with what the handset logged,
// request by request (a resend after a refusal as a resend, a block once its fate is known), and
// ends as the station and its record do. A request still awaiting its answer at the end is in
// the end's unconfirmed list instead.
TEST_P(EventStream, TellsTheRunAsTheHandsetSawIt) {
  const StreamedRun& run = GetParam();
  handset_sim::Config config;
  config.faults = run.faults;
  if (run.normal) {
    UseNormalType();
    config.mode = handset_sim::Mode::Normal;
    config.returnPort = 7;
    config.returnDelay = std::chrono::milliseconds(0);
  }
  StartHandset(config);
  // Once the handset is on COM3: its own arrival would be a second one during the restart.
  TempDir devices;
  if (run.normal) {
    ASSERT_TRUE(platform::StartDeviceNotifications(devices.Path(), ports.Directory()));
  }
  const Bytes image = MakeImage({"CODE", 4 * kBlock});
  CRunRecorder recorder{RecordStore(files.File("records"))};
  Captured json;
  CJsonEvents events(json.File(), station, recorder);
  station.AddRunObserver(&recorder);
  station.AddRunObserver(&events);
  Preselection pick;
  pick.codePath = WriteImage("PHONE.bin", image);

  RunBatch(pick, [&] { ASSERT_TRUE(DriveToTheEnd()) << err.Text(); });
  station.RemoveRunObserver(&events);
  station.RemoveRunObserver(&recorder);
  if (run.normal) platform::StopDeviceNotifications();

  std::vector<nlohmann::json> lines;
  std::istringstream stream(json.Text());
  for (std::string line; std::getline(stream, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_GE(lines.size(), 2u) << json.Text();
  Sha256 digest;
  digest.Update(image.data(), image.size());
  EXPECT_EQ(lines.front()["event"], "start");
  EXPECT_EQ(lines.front()["sha256"], digest.HexDigest());
  EXPECT_EQ(lines.front()["size"], image.size());

  std::vector<std::string> told;
  for (const nlohmann::json& line : lines) {
    if (line["event"] == "request") told.push_back(line["request"].get<std::string>());
    if (line["event"] == "mode-change") told.emplace_back("mode-change");
    if (line["event"] == "port-followed") told.push_back("port-followed " + line["port"].get<std::string>());
    if (line["event"] == "resend") told.push_back("resend " + std::to_string(line["nak"].get<int>()));
    if (line["event"] == "block") {
      told.push_back("block " + std::to_string(line["address"].get<DWORD>()) +
                     (line["confirmed"].get<bool>() ? " confirmed" : " unconfirmed"));
    }
  }
  const std::map<BYTE, std::string> names = {{CMD_HELLO, "hello"},
                                             {CMD_COPY_MODULE, "copy"},
                                             {CMD_SET_BAUD, "baud"},
                                             {CMD_RESET, "reset"},
                                             {CMD_ERASE, "erase"}};
  std::vector<std::string> logged;
  const std::vector<handset_sim::LogEntry> log = handset->Log();
  for (std::size_t i = 0; i < log.size(); ++i) {
    const handset_sim::LogEntry& entry = log[i];
    if (entry.kind == handset_sim::LogEntry::Kind::AtCommand) {
      // It comes back on another port, which the station follows.
      logged.insert(logged.end(), {"mode-change", "port-followed COM7"});
    } else if (entry.code != CMD_WRITE) {
      logged.push_back(names.at(entry.code));
    } else if (i + 1 < log.size() && log[i + 1].code == CMD_WRITE && log[i + 1].offset == entry.offset) {
      logged.push_back("resend " + std::to_string(*entry.answer));
    } else if (entry.answer) {
      logged.push_back("block " + std::to_string(entry.offset) +
                       (*entry.answer == ACK ? " confirmed" : " unconfirmed"));
    }
  }
  if (station.ExitCode() == EXIT_COMPLETED) logged.back() = "final reset";
  EXPECT_EQ(told, logged) << json.Text() << handset_sim::FormatLog(log);

  const nlohmann::json& end = lines.back();
  EXPECT_EQ(end["event"], "end");
  EXPECT_EQ(end["outcome"], run.outcome);
  EXPECT_EQ(end["exitCode"], run.exitCode);
  EXPECT_EQ(station.ExitCode(), run.exitCode);
  EXPECT_EQ(end["unconfirmed"], nlohmann::json::parse(run.unconfirmed));
  EXPECT_EQ(end["record"], recorder.LastRecordPath());
}

INSTANTIATE_TEST_SUITE_P(
    BatchRun, EventStream,
    ::testing::Values(
        StreamedRun{"ARefusedBlock", false, {Nak(kFirstBlockRequest + 1)}, "completed", EXIT_COMPLETED, "[]"},
        StreamedRun{
            "ANormalRunWithARefusedBlock", true, {Nak(kFirstBlockRequest + 2)}, "completed", EXIT_COMPLETED, "[]"},
        // The handset says nothing to block 2: the stall guard ends the run.
        StreamedRun{"ARefusedBlockThenSilence",
                    false,
                    {Nak(kFirstBlockRequest + 1), Silence(kFirstBlockRequest + 3)},
                    "no-answer",
                    EXIT_NO_ANSWER,
                    R"([{"address":16384,"blocks":1}])"}),
    [](const ::testing::TestParamInfo<StreamedRun>& info) { return std::string(info.param.name); });

// A mix of faults for the run: drawn from a seed, or chosen for a case the draws may miss.
struct Schedule {
  std::string name;
  handset_sim::FaultSchedule faults;
};

void PrintTo(const Schedule& schedule, std::ostream* out) {
  *out << schedule.name << ": " << (schedule.faults.text.empty() ? "no faults" : schedule.faults.text);
}

// Whether the handset answered ACK, in time, to the last sending of the erase and of each block;
// a bare block is never answered for certain.
bool HandsetAckedEveryEraseAndBlock(const std::vector<handset_sim::LogEntry>& log) {
  std::map<std::pair<BYTE, std::uint32_t>, bool> acked;
  for (const handset_sim::LogEntry& entry : log) {
    if (entry.kind == handset_sim::LogEntry::Kind::Raw) return false;
    if (entry.code != CMD_ERASE && entry.code != CMD_WRITE) continue;
    acked[{entry.code, entry.offset}] = entry.answer == ACK && !entry.late;
  }
  return std::all_of(acked.begin(), acked.end(), [](const auto& block) { return block.second; });
}

// The station's promise, over many mixes of faults (NAKs, silences, late answers, answers in
// pieces, a drop-off at any request, a restart at the final reset): exit 0 only when the
// handset's flash holds the image byte for byte and the handset itself acknowledged the erase and
// every block, and exit 0 whenever every request was answered with ACK in time. The clock moves
// only when nothing is on its way, to the next timer due, so a schedule takes a fraction of a
// second. A failing schedule is named by its seed; rerun it alone with
// --gtest_filter='*RunInvariant*/seedN'.
class RunInvariant : public BatchRun, public ::testing::WithParamInterface<Schedule> {
 protected:
  // Hello, copy, baud, reset, hello, erase, four blocks, the final reset.
  static constexpr std::uint64_t kRequests = 11;
  static constexpr std::uint64_t kEraseRequest = kFirstBlockRequest - 1;

 public:
  static std::vector<Schedule> Drawn(std::uint32_t count) {
    std::vector<Schedule> schedules;
    for (std::uint32_t seed = 0; seed < count; ++seed) {
      schedules.push_back({"seed" + std::to_string(seed), handset_sim::DrawFaultSchedule(seed, kRequests)});
    }
    return schedules;
  }

  static std::vector<Schedule> Chosen() {
    // The erase is refused and its resend goes unanswered: the run goes on with bare blocks,
    // which the handset all acknowledges; the erase it carried out but never acknowledged.
    handset_sim::FaultSchedule eraseRefused;
    eraseRefused.faults = {{Fault::Nak, NAK_FAILED, kEraseRequest, 0.0}, {Fault::Silence, 0, kEraseRequest + 1, 0.0}};
    eraseRefused.text = "--nak A4@6 --silence-at 7";
    // The same, but the resent erase's answer comes late, together with the first bare block's:
    // the two ACKs seem to confirm blocks 0 and 1.
    handset_sim::FaultSchedule eraseLate = eraseRefused;
    eraseLate.faults.back() = {Fault::Late, 0, kEraseRequest + 1, 0.0, std::chrono::hours(1)};
    eraseLate.text = "--nak A4@6 --late 7:3600000";
    return {{"EraseRefusedThenUnanswered", eraseRefused}, {"EraseRefusedThenAnsweredLate", eraseLate}};
  }

 protected:
};

TEST_P(RunInvariant, ExitZeroOnlyForWhatTheHandsetConfirmedAndForEveryCleanRun) {
  const handset_sim::FaultSchedule& schedule = GetParam().faults;
  handset_sim::Config config;
  schedule.AddTo(&config);
  // A late answer waits for the resend, however long the clock takes to bring it.
  for (FaultRule& rule : config.faults) {
    if (rule.fault == Fault::Late) rule.hold = std::chrono::hours(1);
  }
  config.returnDelay = std::chrono::milliseconds(0);
  StartHandset(config);
  const Bytes image = MakeImage({"CODE", 3 * kBlock + 1000, 0, 0, static_cast<BYTE>(GetParam().name.size())});
  Preselection pick;
  pick.codePath = WriteImage("PHONE.bin", image);
  pick.start = true;

  RunBatch(pick, [&] { ASSERT_TRUE(DriveToTheEnd()) << err.Text(); });

  const int exitCode = station.ExitCode();
  if (exitCode == EXIT_COMPLETED) {
    EXPECT_EQ(FlashRange(0, image.size()), image) << "exit 0 for a flash that differs\n" << err.Text();
    EXPECT_TRUE(HandsetAckedEveryEraseAndBlock(handset->Log())) << "exit 0 for what the handset did not acknowledge\n"
                                                                << handset_sim::FormatLog(handset->Log());
  }
  // Pieces and a restart in place of the final reset's answer are no faults of the line.
  const bool clean = schedule.faults.empty() && schedule.unplugAt == 0;
  if (clean) {
    EXPECT_EQ(exitCode, EXIT_COMPLETED) << err.Text();
  }
}

const auto kScheduleName = [](const ::testing::TestParamInfo<Schedule>& info) { return info.param.name; };

INSTANTIATE_TEST_SUITE_P(Drawn, RunInvariant, ::testing::ValuesIn(RunInvariant::Drawn(kSanitized ? 8 : 200)),
                         kScheduleName);
INSTANTIATE_TEST_SUITE_P(Chosen, RunInvariant, ::testing::ValuesIn(RunInvariant::Chosen()), kScheduleName);

}  // namespace
}  // namespace testing_support
