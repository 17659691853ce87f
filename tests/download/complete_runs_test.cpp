// Whole downloads into the handset stand-in, from the Download button to the last box: what
// lands in the handset's flash is the image area byte for byte, and the operator sees the
// log, the progress and the boxes of a finished run.
#include "link/commands.h"
#include "resources/resource.h"
#include "tests/download/run_fixture.h"

namespace testing_support {
namespace {

constexpr DWORD kBlock = 8192;

struct CompleteRun {
  const char* name;
  ImageLayout image;
  bool font = false;             // sent as the font image, at the typed address below
  bool confirmBootArea = false;  // Change Boot Area ticked and confirmed first
  DWORD sentFrom = 0;            // the file range that must land, at the same offsets
  const char* classification;    // the run's first line; null for none
  const char* address;           // the address field at the end
  bool titleMoves;               // an area of more than one block shows its percentage
};

void PrintTo(const CompleteRun& run, std::ostream* out) { *out << run.name; }

class CompleteRuns : public DownloadRun, public ::testing::WithParamInterface<CompleteRun> {};

TEST_P(CompleteRuns, TheImageAreaLandsByteForByte) {
  const CompleteRun& run = GetParam();
  const Bytes image = MakeImage(run.image);
  const std::string path = WriteImage("image.bin", image);
  StartHandset();

  RunDialog([&] {
    if (run.font) {
      SelectFont(path, "1A0000");
    } else {
      SelectCode(path);
    }
    if (run.confirmBootArea) {
      script.Then([](CDialog& confirm) {
        confirm.GetDlgItem(IDC_CONFIRM_TEXT)->SetWindowText("yes");
        confirm.GetDlgItem(IDOK)->SendMessage(BM_CLICK);
        return IDOK;
      });
      dialog.GetDlgItem(IDC_CHANGE_BOOT_AREA)->SendMessage(BM_CLICK);
      ASSERT_EQ(dialog.m_bBootArea, 1);
    }
    PressDownload();
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));

    EXPECT_EQ(FlashRange(run.sentFrom, image.size() - run.sentFrom), Bytes(image.begin() + run.sentFrom, image.end()));
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"Download Completed.", "Downloading completed\nElapsed time : 0 min 0 sec"}));
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(boxes.boxes[1].type, MB_OK);
    if (run.classification) {
      EXPECT_EQ(Log().at(1).text, run.classification);
    }
    EXPECT_EQ(LogHas({"Boot Downloaded. Code Downloading..", COLOR_RUN, false}), run.confirmBootArea);
    EXPECT_EQ(dialog.m_strAddress, run.address);
    EXPECT_EQ(Title(), run.titleMoves ? "100% Completed. - Flashgate" : kWindowTitle);
    EXPECT_FALSE(Enabled(IDC_DOWNLOAD)) << "the controls wait for the handset to leave";
    EXPECT_EQ(observed.ends, std::vector<RunEnd>{RunEnd::Completed});
    ASSERT_EQ(observed.starts.size(), 1u);
    EXPECT_EQ(observed.starts[0].portNumber, static_cast<int>(kPort));
    EXPECT_EQ(observed.starts[0].bootArea, run.confirmBootArea);
    EXPECT_EQ(observed.starts[0].codePath, run.font ? "" : path.c_str());
    EXPECT_EQ(observed.starts[0].fontPath, run.font ? path.c_str() : "");
    EXPECT_EQ(observed.starts[0].fontAddress, run.font ? "1A0000" : "");
  });
  EXPECT_EQ(handset->Counts().Of(CMD_RESET), run.confirmBootArea ? 3u : 2u) << "a reset per area and the last";
  // No block carries bytes beyond the area erased for it: a short last block is short.
  std::uint64_t erasedFrom = 0;
  std::uint64_t erasedTo = 0;
  for (const handset_sim::LogEntry& entry : handset->Log()) {
    if (entry.code == CMD_ERASE) {
      erasedFrom = entry.offset;
      erasedTo = std::uint64_t{entry.offset} + entry.length;
    } else if (entry.code == CMD_WRITE) {
      EXPECT_GE(entry.offset, erasedFrom) << entry.ToString();
      EXPECT_LE(entry.offset + entry.count, erasedTo) << entry.ToString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    DownloadRun, CompleteRuns,
    ::testing::Values(
        // 20000 bytes: two whole blocks and the last 3616 bytes in a short one.
        CompleteRun{"CodeOnly", {"CODE", 20000}, false, false, 0, "Code Only Binary.", "Addr = 0x6000", true},
        CompleteRun{"OneShortBlock", {"CODE", 3000}, false, false, 0, "Code Only Binary.", "", false},
        CompleteRun{"BootAndCodeSkippingTheBoot",
                    {"CODE", 0x4000 + 3 * kBlock + 100, 0x4000, kBootMarker},
                    false,
                    false,
                    0x4000,
                    "Boot+Code Binary. Skip Boot Area.",
                    "Addr = 0xc000",
                    true},
        // A boot area that ends inside a block: its last block carries only the boot area.
        CompleteRun{"BootAndCodeWithTheBoot",
                    {"CODE", 10000 + 2 * kBlock + 7, 10000, kBootMarker},
                    false,
                    true,
                    0,
                    "Boot+Code Binary. ",
                    "Addr = 0x8710",
                    true},
        // Offsets from 0 go to the handset; the typed address is what the operator sees.
        CompleteRun{
            "FontAtATypedAddress", {"STRS", 2 * kBlock + 10}, true, false, 0, nullptr, "Addr = 0x1a6000", true}),
    [](const ::testing::TestParamInfo<CompleteRun>& info) { return std::string(info.param.name); });

TEST_F(DownloadRun, TheLogOfACodeImageReadsAsDocumented) {
  const std::string path = WriteImage("code.bin", MakeImage({"CODE", 3 * kBlock}));
  handset_sim::Config config;
  config.returnDelay = std::chrono::milliseconds(0);
  StartHandset(config);
  RunDialog([&] {
    SelectCode(path);
    PressDownload();
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
    const std::vector<LogLine> expected = {
        {"", COLOR_INFO, false},
        {"Code Only Binary.", COLOR_RUN, false},
        {"======================", COLOR_RUN, false},
        {"Phone Code Download", COLOR_RUN, false},
        {"======================", COLOR_RUN, false},
        {"다운로드 모듈 COPY 요청", COLOR_INFO, false},
        {"Baud rate set 요청", COLOR_INFO, true},
        {"Flash erase 중.. 잠시만 기다리세요", COLOR_INFO, true},
        {"Flash Programming 중", COLOR_INFO, true},
        {"======================", COLOR_RUN, false},
        {"Download Completed.", COLOR_RUN, false},
        {"Elapsed time : 0 min 0 sec", COLOR_RUN, false},
    };
    EXPECT_EQ(Log(), expected);
    EXPECT_TRUE(LogIsBoldTenPoint());

    // The handset leaves the bus: the controls come back and the title is the dialog's own.
    handset->TriggerUnplug();
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_DOWNLOAD); }));
    EXPECT_EQ(Title(), kWindowTitle);
    EXPECT_TRUE(Visible(IDC_IDLE_BAR));
    EXPECT_FALSE(Visible(IDC_RUN_BAR));
    EXPECT_EQ(Log().size(), expected.size()) << "the log stays for the operator to read";

    // The next run begins with a log of its own.
    ASSERT_TRUE(handset->WaitForReturns(1, std::chrono::seconds(5)));
    PressDownload();
    ASSERT_TRUE(PumpUntil([&] { return boxes.boxes.size() == 4; }));
    EXPECT_EQ(Log(), expected);
  });
}

}  // namespace
}  // namespace testing_support
