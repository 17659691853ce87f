// Rules of the run that a whole download does not show: the font address as typed, every
// kind of code image, the percentage and elapsed-time arithmetic, the log with a selection,
// and the Change Boot Area confirmation.
#include "resources/resource.h"
#include "tests/download/run_fixture.h"

namespace testing_support {
namespace {

struct FontAddress {
  const char* text;
  DWORD address;
};

TEST_F(DownloadRun, TheFontAddressIsReadAsStrtoulReadsItAfterItsOwnPrefix) {
  const std::string font = WriteImage("font.bin", MakeImage({"STRS", 8192}));
  const FontAddress cases[] = {
      {"1A0000", 0x1A0000},
      {"abc", 0xABC},
      {"0x1A", 0},     // the prefix is supplied already
      {"12G4", 0x12},  // reading stops at the first non-digit
      {"FFFFFFFF", 0xFFFFFFFF},
      {"123456789", 0xFFFFFFFF},  // too large: the largest value
      {"00000000000000000000000001", 1},
  };
  RunDialog([&] {
    for (const FontAddress& entry : cases) {
      SelectFont(font, entry.text);
      EXPECT_TRUE(dialog.ValidateFontAddress()) << entry.text;
      EXPECT_EQ(dialog.m_dwFontAddress, entry.address) << entry.text;
    }
    // Without a font image the text is not looked at.
    dialog.m_bFontSelected = 0;
    dialog.GetDlgItem(IDC_FONT_ADDRESS)->SetWindowText("");
    EXPECT_TRUE(dialog.ValidateFontAddress());
    EXPECT_EQ(dialog.m_dwFontAddress, 1u);
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
    dialog.m_bBootArea = kind.bootArea;
    dialog.m_run.currentImage = IMAGE_CODE;
    EXPECT_EQ(dialog.ClassifyImage(), kind.accepted);
    EXPECT_EQ(dialog.m_strRefusal, kind.refusal);
    if (!kind.accepted) {
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{kind.line});
      if (*kind.refusal) {
        EXPECT_EQ(Log().back(), (LogLine{"The " + std::string(kind.refusal) + ".", COLOR_ERROR, false}));
      }
      return;
    }
    EXPECT_EQ(Log().back(), (LogLine{kind.line, COLOR_RUN, false}));
    EXPECT_EQ(dialog.m_run.plan.areaBase, kind.areaBase);
    EXPECT_EQ(dialog.m_run.plan.areaLength, kind.areaLength);
    EXPECT_EQ(dialog.m_run.bootFirst, kind.bootFirst);
    EXPECT_EQ(dialog.m_run.step, STEP_START);
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
    const auto update = [&](int index, int count) {
      dialog.SetWindowText("untouched");
      dialog.m_run.plan.blockIndex = index;
      dialog.m_run.plan.blockCount = count;
      dialog.UpdateProgress();
    };
    dialog.ResetProgress();
    update(2, 3);
    EXPECT_EQ(Title(), "66% Completed. - Flashgate");
    EXPECT_EQ(dialog.m_runBar.GetPosition(), 66);
    EXPECT_EQ(dialog.m_strAddress, "Addr = 0x4000");
    update(3, 3);
    EXPECT_EQ(Title(), "100% Completed. - Flashgate");

    // A new area starting at the percentage the last one ended with leaves the bar at rest.
    dialog.ResetProgress();
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
    for (const auto& [ms, text] : {std::pair<DWORD, const char*>{125000, "Elapsed time : 2 min 5 sec"},
                                   {59999, "Elapsed time : 0 min 59 sec"},
                                   {3600000, "Elapsed time : 60 min 0 sec"}}) {
      dialog.m_run.startTime = GetTickCount();
      clock.Advance(ms);
      dialog.UpdateElapsed();
      EXPECT_EQ(dialog.m_strElapsed, text);
    }
  });
}

TEST_F(DownloadRun, ANewLineLeavesTextTheOperatorSelectedInItsColour) {
  RunDialog([&] {
    dialog.AppendLogLine(COLOR_ERROR, "old error");
    dialog.m_log.SetSel(1, 10);
    dialog.AppendLogLine(COLOR_RUN, "new line");
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
