// A run against a handset that answers with NAKs, falls silent, leaves the bus or is switched
// into download mode first: what the operator sees, what the handset gets, and that every
// run still ends in a flashed handset or in the controls given back.
#include <filesystem>

#include "link/commands.h"
#include "platform/user/device_change.h"
#include "platform/user/messages.h"
#include "resources/resource.h"
#include "serial/serial_port.h"
#include "serial/thread_rx.h"
#include "tests/download/run_fixture.h"
#include "tests/support/read_file.h"
#include "tests/support/thread_probe.h"
#include "ui/run_recorder.h"

namespace testing_support {
namespace {

using handset_sim::Fault;
using handset_sim::FaultRule;

constexpr DWORD kBlock = 8192;
constexpr std::uint64_t kEraseRequest = 6;  // hello, copy, baud, reset, hello, erase
constexpr std::uint64_t kSecondBlockRequest = 8;
const LogLine kResent{"패킷 재전송합니다.", COLOR_INFO, false};

FaultRule Nak(BYTE code, std::uint64_t at) { return FaultRule{Fault::Nak, code, at, 0.0}; }
FaultRule Silence(std::uint64_t at) { return FaultRule{Fault::Silence, 0, at, 0.0}; }

handset_sim::Config WithFaults(std::vector<FaultRule> faults) {
  handset_sim::Config config;
  config.faults = std::move(faults);
  return config;
}

// The line right after `line` in the log, if `line` is there.
LogLine LineAfter(const std::vector<LogLine>& log, const LogLine& line) {
  for (std::size_t i = 0; i + 1 < log.size(); ++i) {
    if (log[i] == line) return log[i + 1];
  }
  return LogLine{"<none>", 0, false};
}

class Faults : public DownloadRun {
 protected:
  // A code image of `blocks` whole blocks, loaded at 0 and selected.
  void SelectCodeImage(int blocks) {
    image = MakeImage({"CODE", static_cast<DWORD>(blocks) * kBlock});
    SelectCode(WriteImage("code.bin", image));
  }
  bool Flashed() const { return FlashRange(0, image.size()) == image; }

  Bytes image;
};

struct NakCase {
  BYTE code;
  std::uint64_t at;
  const char* text;
  const char* retryLine;  // what the retry timer's expiry says
  bool retryTicked;       // the first block's tick lands on that line
};

void PrintTo(const NakCase& nak, std::ostream* out) { *out << nak.text << " at request " << nak.at; }

class NakAnswers : public Faults, public ::testing::WithParamInterface<NakCase> {};

// The NAKed request goes out again under the retry timer; its answer is withheld, so the
// timer's expiry carries the run on with bare blocks, and the handset still ends up flashed.
TEST_P(NakAnswers, AreLoggedAndTheRequestResentUnderTheRetryTimer) {
  const NakCase& nak = GetParam();
  StartHandset(WithFaults({Nak(nak.code, nak.at), Silence(nak.at + 1)}));
  RunDialog([&] {
    SelectCodeImage(4);
    PressDownload();
    ASSERT_TRUE(PumpUntilRequests(nak.at + 1));
    EXPECT_EQ(LineAfter(Log(), {nak.text, COLOR_RUN, false}), kResent);
    EXPECT_EQ(dialog.m_run.State().timerId, TIMER_RETRY);
    EXPECT_EQ(dialog.m_run.State().timerInterval, 5000u);
    const std::vector<handset_sim::LogEntry> requests = handset->Log();
    EXPECT_EQ(requests[nak.at].code, requests[nak.at - 1].code);
    EXPECT_EQ(requests[nak.at].offset, requests[nak.at - 1].offset);

    const LogLine retry{nak.retryLine, COLOR_RUN, nak.retryTicked};
    Elapse(4999);
    EXPECT_FALSE(LogHas(retry));
    Elapse(1);
    EXPECT_TRUE(LogHas(retry));
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
    EXPECT_TRUE(Flashed());
    EXPECT_GT(handset->Counts().rawBlocks, 0u) << "the rest went out as bare blocks";
  });
}

INSTANTIATE_TEST_SUITE_P(
    DownloadRun, NakAnswers,
    ::testing::Values(
        // After the erase, the block before block 0 is named: its address wraps below 0.
        NakCase{NAK_BAD_CRC, kEraseRequest, "NAK_BAD_CRC. Retry", "No response, retry at 0xffffe000", true},
        NakCase{NAK_TOO_LARGE, kEraseRequest, "NAK_TOO_LARGE. Retry", "No response, retry at 0xffffe000", true},
        NakCase{NAK_INVALID_CMD, kEraseRequest, "NAK_INVALID_CMD, but crc error. Retry",
                "No response, retry at 0xffffe000", true},
        NakCase{NAK_FAILED, kEraseRequest, "NAK_FAILED, but crc error. Retry", "No response, retry at 0xffffe000",
                true},
        NakCase{NAK_BAD_CRC, kSecondBlockRequest, "NAK_BAD_CRC. Retry", "No response, retry at 0x2000", false},
        NakCase{NAK_TOO_LARGE, kSecondBlockRequest, "NAK_TOO_LARGE. Retry", "No response, retry at 0x2000", false},
        NakCase{NAK_INVALID_CMD, kSecondBlockRequest, "NAK_INVALID_CMD, but crc error. Retry",
                "No response, retry at 0x2000", false},
        NakCase{NAK_FAILED, kSecondBlockRequest, "NAK_FAILED, but crc error. Retry", "No response, retry at 0x2000",
                false}));

TEST_F(Faults, SilenceAtTheFirstRequestIsRetriedTwiceThenALateAnswerCarriesTheRunOn) {
  StartHandset(WithFaults({Silence(1), Silence(2), Silence(3)}));
  RunDialog([&] {
    SelectCodeImage(2);
    PressDownload();
    for (std::uint64_t request = 1; request <= 3; ++request) {
      ASSERT_TRUE(PumpUntilRequests(request));
      EXPECT_FALSE(LogHas({"응답이 없습니다.", COLOR_ERROR, false})) << "before expiry " << request;
      Elapse(3000);
    }
    EXPECT_TRUE(LogHas({"응답이 없습니다.", COLOR_ERROR, false}));
    EXPECT_TRUE(Visible(IDC_IDLE_BAR));
    EXPECT_FALSE(Visible(IDC_RUN_BAR));
    EXPECT_FALSE(Enabled(IDC_DOWNLOAD));
    EXPECT_FALSE(platform::NextTimerDue().has_value()) << "nothing more is awaited";
    Elapse(60000);
    EXPECT_EQ(handset->Log().size(), 3u) << "two resends, then nothing";

    handset->AnswerNow(ACK);
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
    EXPECT_TRUE(Flashed());
    // The late ACK may answer any of the three hellos, and the other two may still come, each
    // to be taken for a later request's answer: what follows confirms nothing for certain.
    EXPECT_EQ(observed.ends, (std::vector<RunEnd>{RunEnd::NoAnswer, RunEnd::CompletedUnconfirmed}));
  });
}

TEST_F(Faults, NoAnswerToTheFinalResetStillEndsWithTheReport) {
  StartHandset(WithFaults({Silence(kEraseRequest + 2 + 1)}));
  RunDialog([&] {
    SelectCodeImage(2);
    PressDownload();
    ASSERT_TRUE(PumpUntilBox("Download Completed."));
    ASSERT_TRUE(PumpUntilRequests(kEraseRequest + 3));
    Elapse(9999);
    EXPECT_FALSE(PumpUntilBox("Downloading completed\n", 0));
    Elapse(1);
    // The report's tick closes the line that gave up waiting.
    EXPECT_EQ(LineAfter(Log(), {"Flash Programming 중", COLOR_INFO, false}),
              (LogLine{"reset cmd에 대한 응답은 받지 못했지만 다운로드 종료", COLOR_RUN, true}));
    EXPECT_TRUE(HasBox("Downloading completed\nElapsed time : 0 min 10 sec"));
    EXPECT_TRUE(Flashed());
  });
}

enum class AtRetry { HandsetBack, HandsetGone, Cancel };

void PrintTo(AtRetry answer, std::ostream* out) {
  *out << (answer == AtRetry::HandsetBack   ? "OK, handset back"
           : answer == AtRetry::HandsetGone ? "OK, handset gone"
                                            : "Cancel");
}

class Reconnection : public Faults, public ::testing::WithParamInterface<AtRetry> {};

// After a NAK, the resent block and the next two bare blocks go unanswered: the third
// expiry of the retry timer lets the handset go and asks the operator whether to reconnect.
TEST_P(Reconnection, FollowsTheOperatorsAnswer) {
  handset_sim::Config config =
      WithFaults({Nak(NAK_BAD_CRC, kSecondBlockRequest), Silence(9), Silence(10), Silence(11)});
  config.comesBack = false;
  StartHandset(config);
  const AtRetry answer = GetParam();
  RunDialog([&] {
    SelectCodeImage(8);
    PressDownload();
    for (std::uint64_t request = 9; request <= 10; ++request) {
      ASSERT_TRUE(PumpUntilRequests(request));
      Elapse(5000);
    }
    EXPECT_EQ(LineAfter(Log(), {"No response, retry at 0x2000", COLOR_RUN, false}),
              (LogLine{"No response, retry at 0x4000", COLOR_RUN, false}));
    ASSERT_TRUE(PumpUntilRequests(11));

    script.Then([&](CDialog& retry) {
      // The old receive thread's end arrives while the question is open, and stops nothing.
      platform::PumpPostedMessages();
      EXPECT_FALSE(g_bThreadActive);
      EXPECT_EQ(dialog.m_run.State().step, STEP_BLOCKS);
      if (answer == AtRetry::HandsetGone) {
        handset->TriggerUnplug();
        EXPECT_TRUE(handset->WaitForDropOffs(1, std::chrono::seconds(5)));
      }
      retry.GetDlgItem(answer == AtRetry::Cancel ? IDCANCEL : IDOK)->SendMessage(BM_CLICK);
      return 0;
    });
    Elapse(5000);
    EXPECT_FALSE(dialog.m_run.State().reconnecting);

    switch (answer) {
      case AtRetry::HandsetBack:
        EXPECT_TRUE(LogHas({"다시 시작!!!!!", COLOR_ERROR, false}));
        ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
        EXPECT_TRUE(Flashed());
        EXPECT_EQ(handset->Counts().rawBlocks, 6u) << "blocks 2 to 7, bare from the first time-out on";
        EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::CompletedUnconfirmed}) << "blocks 1 to 3";
        break;
      case AtRetry::HandsetGone:
        EXPECT_EQ(LineAfter(Log(), {"USB 연결 상태를 확인하세요.", COLOR_RUN, false}),
                  (LogLine{"재연결 실패!!!!!", COLOR_ERROR, false}));
        EXPECT_TRUE(Enabled(IDC_DOWNLOAD));
        EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::ReconnectFailed});
        break;
      case AtRetry::Cancel:
        EXPECT_FALSE(LogHas({"다시 시작!!!!!", COLOR_ERROR, false}));
        EXPECT_TRUE(Enabled(IDC_DOWNLOAD));
        EXPECT_FALSE(g_bPortOpen);
        EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::ReconnectDeclined});
        break;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(DownloadRun, Reconnection,
                         ::testing::Values(AtRetry::HandsetBack, AtRetry::HandsetGone, AtRetry::Cancel));

TEST_F(Faults, AHandsetUnpluggedMidBlocksGivesTheControlsBack) {
  handset_sim::Config config;
  config.unplugAtBlock = 3;
  config.returnDelay = std::chrono::milliseconds(0);
  StartHandset(config);
  RunDialog([&] {
    const int descriptors = OpenDescriptorCount();
    SelectCodeImage(6);
    PressDownload();
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_DOWNLOAD); }));
    EXPECT_EQ(Title(), kWindowTitle);
    EXPECT_TRUE(Visible(IDC_IDLE_BAR));
    EXPECT_EQ(dialog.m_run.State().step, STEP_START);
    EXPECT_TRUE(dialog.m_strAddress.IsEmpty());
    EXPECT_FALSE(g_bKeepRunning);
    EXPECT_FALSE(g_bThreadActive);
    EXPECT_FALSE(g_bThreadLost);
    EXPECT_FALSE(g_bPortOpen);
    ASSERT_TRUE(handset->WaitForReturns(1, std::chrono::seconds(5)));
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::HandsetLost});
  });
}

// The final reset asks the handset to restart; one that does so at once, without answering
// it, has finished: the report comes without waiting out the reset's ten seconds.
TEST_F(Faults, AHandsetThatRestartsAtTheFinalResetHasFinished) {
  StartHandset(WithFaults({Silence(kEraseRequest + 3)}));
  RunDialog([&] {
    SelectCodeImage(2);
    PressDownload();
    ASSERT_TRUE(PumpUntilRequests(kEraseRequest + 3));
    handset->TriggerUnplug();
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_DOWNLOAD); }));
    EXPECT_TRUE(HasBox("Downloading completed\nElapsed time : 0 min 0 sec"));
    EXPECT_TRUE(LogHas({"reset cmd에 대한 응답은 받지 못했지만 다운로드 종료", COLOR_RUN, true}));
    EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::Completed});
    EXPECT_TRUE(Flashed());
  });
}

// A handset that refuses the same request over and over is treated as a silent one: the run
// says so and asks whether to reconnect, rather than resend for ever.
TEST_F(Faults, TenRefusalsInARowAreSilence) {
  StartHandset(WithFaults({FaultRule{Fault::Nak, NAK_FAILED, 0, 1.0}}));
  RunDialog([&] {
    SelectCodeImage(2);
    script.Then([](CDialog&) {
      platform::PumpPostedMessages();
      return IDCANCEL;
    });
    PressDownload();
    ASSERT_TRUE(PumpUntil([&] { return !observed.ends.empty(); }));
    EXPECT_EQ(handset->Log().size(), 10u) << "the hello and nine resends";
    EXPECT_EQ(Log().back(), (LogLine{"응답이 없습니다.", COLOR_ERROR, false}));
    EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::ReconnectDeclined});
    EXPECT_TRUE(Enabled(IDC_DOWNLOAD));
  });
}

// The image file is cut short, or removed, while the run sends it: the run stops at the block
// it can no longer read, says where, and gives the controls back.
class ImageGoneMidRun : public Faults, public ::testing::WithParamInterface<bool> {};

TEST_P(ImageGoneMidRun, StopsTheRunAtTheBlockItCannotRead) {
  const bool removed = GetParam();
  StartHandset(WithFaults({Silence(kEraseRequest + 1)}));
  CRunRecorder recorder{RecordStore(files.File("records"))};
  dialog.AddRunObserver(&recorder);
  RunDialog([&] {
    SelectCodeImage(4);
    PressDownload();
    // Block 0 is out and its answer held back while the file changes under the run.
    ASSERT_TRUE(PumpUntilRequests(kEraseRequest + 1));
    if (removed) {
      std::filesystem::remove(dialog.m_strCodePath.str());
    } else {
      std::filesystem::resize_file(dialog.m_strCodePath.str(), kBlock + 100);
    }
    handset->AnswerNow(ACK);
    ASSERT_TRUE(PumpUntil([&] { return !observed.ends.empty(); }));
    EXPECT_TRUE(LogHas({"The image cannot be read at offset 0x2000: the download stops.", COLOR_ERROR, false}));
    EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::ImageUnreadable});
    EXPECT_EQ(handset->Log().size(), kEraseRequest + 1) << "nothing sent after block 0";
    EXPECT_TRUE(Enabled(IDC_DOWNLOAD));
    EXPECT_FALSE(g_bPortOpen);
    const std::string record = ReadWholeFile(recorder.LastRecordPath());
    EXPECT_NE(record.find("End:            the image could not be read during the run\n"), std::string::npos);
  });
  dialog.RemoveRunObserver(&recorder);
}

INSTANTIATE_TEST_SUITE_P(Faults, ImageGoneMidRun, ::testing::Bool());

struct CloseCase {
  const char* name;
  bool normal;
};

void PrintTo(const CloseCase& close, std::ostream* out) { *out << close.name; }

class Closing : public Faults, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(Closing, TheWindowStopsTheRunAndTheDialogEnds) {
  handset_sim::Config config = WithFaults({Silence(kSecondBlockRequest)});
  if (GetParam().normal) {
    UseNormalType();
    config.mode = handset_sim::Mode::Normal;
  }
  StartHandset(config);
  INT_PTR result = 0;
  script.Then([&](CDialog&) {
    SelectCodeImage(4);
    PressDownload();
    if (GetParam().normal) {
      EXPECT_TRUE(dialog.m_modeChangeDlg.IsWindowVisible());
    } else {
      EXPECT_TRUE(PumpUntilRequests(kSecondBlockRequest));
    }
    dialog.SendMessage(WM_CLOSE);
    return 0;
  });
  result = dialog.DoModal();
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::Closed});
  EXPECT_EQ(dialog.m_modeChangeDlg.GetSafeHwnd(), nullptr);
  EXPECT_FALSE(platform::NextTimerDue().has_value());
  EXPECT_FALSE(g_bThreadActive);
  EXPECT_FALSE(g_bKeepRunning);
}

INSTANTIATE_TEST_SUITE_P(DownloadRun, Closing,
                         ::testing::Values(CloseCase{"MidBlocks", false}, CloseCase{"DuringTheModeChange", true}),
                         [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

// The handset runs its normal software: told to restart in download mode, it leaves the bus
// and comes back; after the notice's ten seconds the run greets it twice and flashes it.
TEST_F(Faults, TheNormalTypeSwitchesTheHandsetFirst) {
  UseNormalType();
  handset_sim::Config config;
  config.mode = handset_sim::Mode::Normal;
  config.returnDelay = std::chrono::milliseconds(0);
  StartHandset(config);
  RunDialog([&] {
    SelectCodeImage(3);
    dialog.m_run.AppendLogLine(COLOR_RUN, "a line of an earlier run");
    PressDownload();
    EXPECT_EQ(Log().size(), 1u) << "emptied at once";
    EXPECT_TRUE(dialog.m_modeChangeDlg.IsWindowVisible());
    EXPECT_FALSE(Enabled(IDC_DOWNLOAD));
    ASSERT_TRUE(handset->WaitForReturns(1, std::chrono::seconds(5)));
    EXPECT_EQ(handset->Counts().atCommands, 1u);
    Elapse(9999);
    EXPECT_TRUE(dialog.m_modeChangeDlg.IsWindowVisible());
    Elapse(1);
    EXPECT_EQ(dialog.m_modeChangeDlg.GetSafeHwnd(), nullptr);
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
    EXPECT_TRUE(Flashed());
    const std::vector<handset_sim::LogEntry> requests = handset->Log();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[0].kind, handset_sim::LogEntry::Kind::AtCommand);
    EXPECT_EQ(requests[1].code, CMD_HELLO);
    EXPECT_EQ(requests[2].code, CMD_HELLO);
    EXPECT_EQ(Log().at(1), (LogLine{"Code Only Binary.", COLOR_RUN, false})) << "the log starts afresh";
  });
}

// The handset comes back from the mode switch under another number: the announcement of the
// new port is what the run connects to.
TEST_F(Faults, TheNormalTypeFollowsTheHandsetToItsNewPort) {
  StartNormalHandsetReturningOn(7);
  TempDir devices;
  ASSERT_TRUE(platform::StartDeviceNotifications(devices.Path(), ports.Directory()));
  RunDialog([&] {
    SelectCodeImage(3);
    PressDownload();
    ASSERT_TRUE(PumpUntil([&] { return dialog.m_strAutoDetect == "Auto Detect [COM7]"; }));
    EXPECT_EQ(dialog.m_nPortNumber, 7);
    EXPECT_TRUE(Visible(IDC_AUTO_DETECT));
    EXPECT_FALSE(Visible(IDC_PORT));
    Elapse(10000);
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
    EXPECT_TRUE(Flashed());
    EXPECT_EQ(handset->PortNumber(), 7u);
  });
  platform::StopDeviceNotifications();
}

// An EMERGENCY start whose image is refused keeps its connection; a NORMAL download pressed
// next stops that receive thread itself, and the thread's end must not stop the mode change.
TEST_F(Faults, TheNormalTypeAfterARefusedImageStillSwitchesTheHandset) {
  handset_sim::Config config;
  config.mode = handset_sim::Mode::Normal;
  config.returnDelay = std::chrono::milliseconds(0);
  StartHandset(config);
  RunDialog([&] {
    SelectCode(WriteImage("boot.bin", MakeImage({"CODE", 20000, 20000, kBootMarker})));
    PressDownload();
    ASSERT_TRUE(HasBox("This is Boot Binary, Check [Change Boot Area]"));
    EXPECT_TRUE(g_bThreadActive) << "the connection stays for the next try";

    SelectCodeImage(3);
    dialog.m_nDownloadType = ComboIndexOf(DownloadTypeNamed("normal"));
    dialog.UpdateData(FALSE);
    PressDownload();
    ASSERT_TRUE(handset->WaitForReturns(1, std::chrono::seconds(5)));
    platform::PumpPostedMessages();
    EXPECT_TRUE(dialog.m_modeChangeDlg.IsWindowVisible());
    Elapse(10000);
    EXPECT_EQ(dialog.m_modeChangeDlg.GetSafeHwnd(), nullptr);
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
    EXPECT_TRUE(Flashed());
  });
}

// A handset restarts after the reset that ends a download, and its port goes away for a while:
// the dialog goes idle without another end being reported.
TEST_F(Faults, AHandsetRestartingAfterItsResetLeavesTheDialogIdle) {
  handset_sim::Config config;
  config.restartAfterReset = true;
  config.returnDelay = std::chrono::milliseconds(0);
  StartHandset(config);
  RunDialog([&] {
    SelectCodeImage(3);
    PressDownload();
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_DOWNLOAD); }));
    EXPECT_EQ(Title(), kWindowTitle);
    EXPECT_TRUE(Flashed());
    EXPECT_TRUE(handset->WaitForReturns(1, std::chrono::seconds(5)));
    EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::Completed});
  });
}

}  // namespace
}  // namespace testing_support
