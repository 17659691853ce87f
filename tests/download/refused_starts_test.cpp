// Download pressed when a run cannot start: the operator is told why, nothing reaches the
// handset, and the controls come back for the next try.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "link/commands.h"
#include "resources/resource.h"
#include "serial/serial_port.h"
#include "tests/download/hosted_run.h"
#include "tests/download/run_fixture.h"
#include "tests/download/run_probe.h"
#include "ui/settings.h"

namespace testing_support {
namespace {

enum class Image { Good, Missing, AreaBeyondTheFile, SecondAreaWithoutBoot, BootOnly };

struct RefusedStart {
  const char* name;
  Image image;
  bool font;            // the image is selected as the font image
  const char* address;  // the typed font address
  bool handset;         // a handset is on the bus
  int type;             // the stored download type: 0 EMERGENCY, 1 NORMAL, 2 none of the types
  bool staleThread;     // a receive thread of an earlier connection was never stopped
  const char* box;      // the box that tells the operator; "%s" stands for the image's path
  const char* line;     // the log line that tells the operator
  RunEnd end;           // as the service record and a batch run learn it
};

void PrintTo(const RefusedStart& start, std::ostream* out) { *out << start.name; }

ImageLayout LayoutOf(Image image) {
  switch (image) {
    case Image::AreaBeyondTheFile: return {"CODE", 20000, 20001, 0};
    case Image::SecondAreaWithoutBoot: return {"CODE", 20000, 8192, 0};
    case Image::BootOnly: return {"CODE", 20000, 20000, kBootMarker};
    default: return {"CODE", 20000, 0, 0};
  }
}

class RefusedStarts : public DownloadRun, public ::testing::WithParamInterface<RefusedStart> {};

TEST_P(RefusedStarts, TellTheOperatorAndSendNothing) {
  const RefusedStart& start = GetParam();
  std::string path = files.File("missing.bin");
  if (start.image != Image::Missing) path = WriteImage("image.bin", MakeImage(LayoutOf(start.image)));
  WriteRegInt(kDownloadTypeValue, start.type);
  if (start.handset) StartHandset();

  RunDialog([&] {
    if (start.font) {
      SelectFont(path, start.address);
    } else {
      SelectCode(path);
    }
    // As a thread that was never stopped would leave it; the pointer is only compared.
    if (start.staleThread) RunProbe(dialog.m_run).LeaveReceiveThread(reinterpret_cast<CThreadRX*>(&dialog));
    PressDownload();

    std::vector<std::string> expectedBoxes;
    if (*start.box) {
      CString text;
      text.Format(start.box, path.c_str());
      expectedBoxes.push_back(text.str());
    }
    EXPECT_EQ(BoxTexts(), expectedBoxes);
    for (const platform::MessageBoxRequest& box : boxes.boxes) {
      EXPECT_EQ(box.caption, AfxGetAppName());
      EXPECT_EQ(box.owner, dialog.GetSafeHwnd());
    }
    if (*start.line) {
      EXPECT_EQ(Log().back(), (LogLine{start.line, COLOR_RUN, false}));
    }
    if (handset) {
      EXPECT_TRUE(handset->Log().empty()) << handset_sim::FormatLog(handset->Log());
    }
    EXPECT_TRUE(Enabled(IDC_DOWNLOAD));
    EXPECT_TRUE(Enabled(IDC_CODE));
    EXPECT_EQ(dialog.m_modeChangeDlg.GetSafeHwnd(), nullptr);
    EXPECT_EQ(observed.ends, std::vector<RunEnd>{start.end});
  });
}

INSTANTIATE_TEST_SUITE_P(
    DownloadRun, RefusedStarts,
    ::testing::Values(RefusedStart{"FontAddressMissing", Image::Good, true, "", true, 0, false,
                                   "Font Address를 입력하세요!", "", RunEnd::Refused},
                      RefusedStart{"FontAddressWithABlank", Image::Good, true, "1A 0000", true, 0, false,
                                   "Font Address를 정확하게 써주세요!", "", RunEnd::Refused},
                      RefusedStart{"FirstAreaBeyondTheFile", Image::AreaBeyondTheFile, false, "", true, 0, false,
                                   "Header infomation is different from actual thing", "", RunEnd::Refused},
                      RefusedStart{"FontAreaBeyondTheFile", Image::AreaBeyondTheFile, true, "0", true, 0, false,
                                   "Header infomation is different from actual thing", "", RunEnd::Refused},
                      RefusedStart{"SecondAreaWithoutABootArea", Image::SecondAreaWithoutBoot, false, "", true, 0,
                                   false, "Header infomation is different from actual thing", "", RunEnd::Refused},
                      RefusedStart{"BootOnlyWithoutChangeBootArea", Image::BootOnly, false, "", true, 0, false,
                                   "This is Boot Binary, Check [Change Boot Area]", "", RunEnd::Refused},
                      // The reader's own box; the run does not go on with an empty plan.
                      RefusedStart{"ImageMissing", Image::Missing, false, "", true, 0, false,
                                   " Fail to read from %s\n Please Check bin_file !", "", RunEnd::Refused},
                      RefusedStart{"FontImageMissing", Image::Missing, true, "0", true, 0, false,
                                   " Fail to read from %s\n Please Check bin_file !", "", RunEnd::Refused},
                      // The combo shows no type; the run must not start nothing and never end.
                      RefusedStart{"AStoredTypeThatIsNoType", Image::Good, false, "", true, 2, false,
                                   "Download Type을 선택하세요!", "", RunEnd::NoDownloadType},
                      RefusedStart{"NoHandset", Image::Good, false, "", false, 0, false, "",
                                   "USB 연결 상태를 확인하세요.", RunEnd::PortNotOpened},
                      RefusedStart{"NoHandsetForTheNormalType", Image::Good, false, "", false, 1, false, "",
                                   "USB 연결 상태를 확인하세요.", RunEnd::PortNotOpened},
                      RefusedStart{"AnEarlierReceiveThread", Image::Good, false, "", true, 0, true,
                                   "Can't start Downloader\n", "", RunEnd::PortNotOpened}),
    [](const ::testing::TestParamInfo<RefusedStart>& info) { return std::string(info.param.name); });

// Another program holding `device` open, plainly, with no lock: `sleep` with the device as its
// descriptor 3, for as long as the object lives.
class Holder {
 public:
  explicit Holder(const std::string& device) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 3, device.c_str(), O_RDWR | O_NOCTTY, 0);
    char* const argv[] = {const_cast<char*>("sleep"), const_cast<char*>("60"), nullptr};
    // Answers once sleep has taken the child's place.
    if (posix_spawnp(&m_pid, "sleep", &actions, nullptr, argv, environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Holder() { Stop(); }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  pid_t Pid() const { return m_pid; }
  void Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
};

// Two readers of one port lose the handset's answers, and the open does not fail for a holder
// that took no lock: the run does not start, and says who holds the port; with the holder gone,
// the next run goes.
TEST_F(HostedRun, APortAnotherProgramHoldsIsNamedWithItsHolder) {
  StartHandset();
  const RunChoices choices = CodeChoices(WriteImage("code.bin", MakeImage(LayoutOf(Image::Good))));
  Holder holder(handset->SlavePath());
  ASSERT_GT(holder.Pid(), 0);
  run.OnDownload(choices);
  const std::string held =
      "COM3 (" + handset->SlavePath() + ") is held by sleep (pid " + std::to_string(holder.Pid()) + ")";
  ASSERT_GE(view.log.size(), 2u);
  EXPECT_EQ(view.log[view.log.size() - 2], (LogLine{"USB 연결 상태를 확인하세요.", COLOR_RUN, false}));
  EXPECT_EQ(view.log.back(), (LogLine{held, COLOR_ERROR, false}));
  EXPECT_EQ(run.PortProblem(), held.c_str());
  EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::PortNotOpened});
  EXPECT_TRUE(view.controlsEnabled);
  EXPECT_TRUE(handset->Log().empty());

  holder.Stop();
  run.OnDownload(choices);
  EXPECT_TRUE(PumpUntil([&] { return observed.ends.size() == 2; }));
  EXPECT_EQ(observed.ends.back(), RunEnd::Completed);
  EXPECT_TRUE(run.PortProblem().IsEmpty());
}

TEST_F(DownloadRun, ARefusedImageKeepsTheConnectionForTheNextTry) {
  const std::string boot = WriteImage("boot.bin", MakeImage(LayoutOf(Image::BootOnly)));
  const std::string code = WriteImage("code.bin", MakeImage(LayoutOf(Image::Good)));
  StartHandset();
  RunDialog([&] {
    SelectCode(boot);
    PressDownload();
    ASSERT_TRUE(g_bPortOpen);
    const HANDLE port = RunProbe(dialog.m_run).PortHandle();
    SelectCode(code);
    PressDownload();
    EXPECT_EQ(RunProbe(dialog.m_run).PortHandle(), port) << "connected once";
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
  });
}

}  // namespace
}  // namespace testing_support
