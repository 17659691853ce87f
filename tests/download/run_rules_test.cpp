// Rules of the run that a whole download does not show: the font address as typed, every
// kind of code image, the percentage and elapsed-time arithmetic, the log with a selection,
// and the Change Boot Area confirmation.
#include "resources/resource.h"
#include "tests/download/run_fixture.h"
#include "tests/download/run_probe.h"

namespace testing_support {
namespace {

struct FontAddress {
  const char* text;
  DWORD address;
};

TEST_F(DownloadRun, TheFontAddressIsReadAsStrtoulReadsItAfterItsOwnPrefix) {
  const FontAddress cases[] = {
      {"1A0000", 0x1A0000},
      {"abc", 0xABC},
      {"0x1A", 0},     // the prefix is supplied already
      {"12G4", 0x12},  // reading stops at the first non-digit
      {"FFFFFFFF", 0xFFFFFFFF},
      {"123456789", 0xFFFFFFFF},  // too large: the largest value
      {"00000000000000000000000001", 1},
  };
  for (const FontAddress& entry : cases) EXPECT_EQ(ParseFontAddress(entry.text), entry.address) << entry.text;
  RunDialog([&] {
    RunProbe probe(dialog.m_run);
    RunChoices choices;
    choices.fontSelected = true;
    choices.fontAddress = "1";
    probe.Choose(choices);
    EXPECT_TRUE(dialog.m_run.ValidateFontAddress());
    EXPECT_EQ(probe.FontAddress(), 1u);
    // Without a font image the text is not looked at.
    choices.fontSelected = false;
    choices.fontAddress = "";
    probe.Choose(choices);
    EXPECT_TRUE(dialog.m_run.ValidateFontAddress());
    EXPECT_EQ(probe.FontAddress(), 1u);
    EXPECT_TRUE(boxes.boxes.empty());
  });
}

struct CodeKind {
  const char* name;
  ImageLayout image;
  bool bootArea;  // Change Boot Area confirmed
  bool accepted;
  const char* line;  // the classification line, or the box of a refusal
  DWORD areaBase;
  DWORD areaLength;
  bool bootFirst;
  const char* refusal = "";  // said to a station for a refused image
};

void PrintTo(const CodeKind& kind, std::ostream* out) { *out << kind.name; }

class CodeKinds : public DownloadRun, public ::testing::WithParamInterface<CodeKind> {};

TEST_P(CodeKinds, PlanWhatIsSent) {
  const CodeKind& kind = GetParam();
  RunDialog([&] {
    SelectCode(WriteImage("code.bin", MakeImage(kind.image)));
    RunProbe probe(dialog.m_run);
    RunChoices choices = dialog.Choices();
    choices.bootArea = kind.bootArea;
    probe.Choose(choices);
    EXPECT_EQ(dialog.m_run.ClassifyImage(), kind.accepted);
    EXPECT_EQ(dialog.m_run.Refusal(), kind.refusal);
    if (!kind.accepted) {
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{kind.line});
      if (*kind.refusal) {
        EXPECT_EQ(Log().back(), (LogLine{"The " + std::string(kind.refusal) + ".", COLOR_ERROR, false}));
      }
      return;
    }
    EXPECT_EQ(Log().back(), (LogLine{kind.line, COLOR_RUN, false}));
    const RunState& run = dialog.m_run.State();
    EXPECT_EQ(run.plan.areaBase, kind.areaBase);
    EXPECT_EQ(run.plan.areaLength, kind.areaLength);
    EXPECT_EQ(run.bootFirst, kind.bootFirst);
    EXPECT_EQ(run.step, STEP_START);
  });
}

constexpr DWORD kFirst = 0x20000;
constexpr DWORD kSize = 0x80000;
constexpr DWORD kLoad = 0x100000;

INSTANTIATE_TEST_SUITE_P(
    DownloadRun, CodeKinds,
    ::testing::Values(CodeKind{"BootAndCodeWithTheBoot",
                               {"CODE", kSize, kFirst, kBootMarker},
                               true,
                               true,
                               "Boot+Code Binary. ",
                               0,
                               kFirst,
                               true},
                      CodeKind{"BootAndCodeSkippingTheBoot",
                               {"CODE", kSize, kFirst, kBootMarker},
                               false,
                               true,
                               "Boot+Code Binary. Skip Boot Area.",
                               kFirst,
                               kSize - kFirst,
                               false},
                      CodeKind{"CodeOnlyWithTheBoot",
                               {"CODE", kSize, kSize, kLoad},
                               true,
                               true,
                               "Code Only Binary. Skip Boot Area.",
                               0,
                               kSize,
                               false},
                      CodeKind{
                          "CodeOnly", {"CODE", kSize, kSize, 0}, false, true, "Code Only Binary.", 0, kSize, false},
                      // Sent from the file at its load address, the blocks would lie past the file's end.
                      CodeKind{"CodeOnlyLoadedBeyondItsFile",
                               {"CODE", kSize, kSize, kLoad},
                               false,
                               false,
                               "Header infomation is different from actual thing",
                               0,
                               0,
                               false,
                               "image header gives 524288 bytes from offset 0x100000, the file has 524288"},
                      CodeKind{"BootOnlyWithTheBoot",
                               {"CODE", kSize, kSize, kBootMarker},
                               true,
                               true,
                               "Boot Only Binary. ",
                               0,
                               kSize,
                               false},
                      CodeKind{"BootOnly",
                               {"CODE", kSize, kSize, kBootMarker},
                               false,
                               false,
                               "This is Boot Binary, Check [Change Boot Area]",
                               0,
                               0,
                               false}),
    [](const ::testing::TestParamInfo<CodeKind>& info) { return std::string(info.param.name); });

TEST_F(DownloadRun, BarAndTitleChangeOnlyWithTheWholePercentage) {
  RunDialog([&] {
    RunProbe probe(dialog.m_run);
    const auto update = [&](int index, int count) {
      dialog.SetWindowText("untouched");
      probe.State().plan.blockIndex = index;
      probe.State().plan.blockCount = count;
      probe.UpdateProgress();
    };
    probe.ResetProgress();
    update(2, 3);
    EXPECT_EQ(Title(), "66% Completed. - Flashgate");
    EXPECT_EQ(dialog.m_runBar.GetPosition(), 66);
    EXPECT_EQ(dialog.m_strAddress, "Addr = 0x4000");
    update(3, 3);
    EXPECT_EQ(Title(), "100% Completed. - Flashgate");

    // A new area starting at the percentage the last one ended with leaves the bar at rest.
    probe.ResetProgress();
    update(3, 3);
    EXPECT_EQ(Title(), "untouched");
    EXPECT_EQ(dialog.m_runBar.GetPosition(), 0);

    const struct {
      int index;
      const char* title;
    } steps[] = {{2, "0% Completed. - Flashgate"},  // 0 is always written
                 {3, "0% Completed. - Flashgate"},
                 {4, "1% Completed. - Flashgate"},
                 {5, "untouched"},
                 {8, "2% Completed. - Flashgate"}};
    for (const auto& step : steps) {
      update(step.index, 400);
      EXPECT_EQ(Title(), step.title) << "block index " << step.index;
    }
  });
}

TEST_F(DownloadRun, TheElapsedTimeIsWholeMinutesAndSeconds) {
  RunDialog([&] {
    RunProbe probe(dialog.m_run);
    for (const auto& [ms, text] : {std::pair<DWORD, const char*>{125000, "Elapsed time : 2 min 5 sec"},
                                   {59999, "Elapsed time : 0 min 59 sec"},
                                   {3600000, "Elapsed time : 60 min 0 sec"}}) {
      probe.State().startTime = GetTickCount();
      clock.Advance(ms);
      probe.UpdateElapsed();
      EXPECT_EQ(dialog.m_strElapsed, text);
    }
  });
}

TEST_F(DownloadRun, ANewLineLeavesTextTheOperatorSelectedInItsColour) {
  RunDialog([&] {
    dialog.m_run.AppendLogLine(COLOR_ERROR, "old error");
    dialog.m_log.SetSel(1, 10);
    dialog.m_run.AppendLogLine(COLOR_RUN, "new line");
    EXPECT_EQ(Log(), (std::vector<LogLine>{
                         {"", COLOR_INFO, false}, {"old error", COLOR_ERROR, false}, {"new line", COLOR_RUN, false}}));
  });
}

TEST_F(DownloadRun, ChangeBootAreaNeedsTheConfirmation) {
  const auto answer = [this](bool yes) {
    script.Then([yes](CDialog& confirm) {
      if (yes) confirm.GetDlgItem(IDC_CONFIRM_TEXT)->SetWindowText("YES");
      confirm.GetDlgItem(yes ? IDOK : IDCANCEL)->SendMessage(BM_CLICK);
      return 0;
    });
  };
  RunDialog([&] {
    SelectCode(WriteImage("code.bin", MakeImage({"CODE", 8192})));
    CWnd* box = dialog.GetDlgItem(IDC_CHANGE_BOOT_AREA);
    answer(false);
    box->SendMessage(BM_CLICK);
    EXPECT_EQ(box->SendMessage(BM_GETCHECK), BST_UNCHECKED);
    EXPECT_EQ(dialog.m_bBootArea, 0);

    answer(true);
    box->SendMessage(BM_CLICK);
    EXPECT_EQ(box->SendMessage(BM_GETCHECK), BST_CHECKED);
    EXPECT_EQ(dialog.m_bBootArea, 1);

    box->SendMessage(BM_CLICK);  // unticked: no question
    EXPECT_EQ(dialog.m_bBootArea, 0);
  });
}

}  // namespace
}  // namespace testing_support
