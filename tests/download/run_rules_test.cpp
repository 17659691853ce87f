// Rules of the run that a whole download does not show, on a run with no window: the font
// address as typed, every kind of code image, the percentage and elapsed-time arithmetic.
#include "tests/download/hosted_run.h"
#include "tests/download/run_probe.h"

namespace testing_support {
namespace {

struct FontAddress {
  const char* text;
  DWORD address;
};

TEST(RunRules, TheFontAddressIsReadAsStrtoulReadsItAfterItsOwnPrefix) {
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
}

TEST_F(HostedRun, TheFontAddressIsLookedAtOnlyWithAFontImage) {
  RunProbe probe(run);
  RunChoices choices;
  choices.fontSelected = true;
  choices.fontAddress = "1";
  probe.Choose(choices);
  EXPECT_TRUE(run.ValidateFontAddress());
  EXPECT_EQ(probe.FontAddress(), 1u);
  for (const char* typed : {"", "1 2"}) {
    choices.fontSelected = false;
    choices.fontAddress = typed;
    probe.Choose(choices);
    EXPECT_TRUE(run.ValidateFontAddress()) << typed;
    EXPECT_EQ(probe.FontAddress(), 1u) << typed;
  }
  EXPECT_TRUE(view.boxes.empty());
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

class CodeKinds : public HostedRun, public ::testing::WithParamInterface<CodeKind> {};

TEST_P(CodeKinds, PlanWhatIsSent) {
  const CodeKind& kind = GetParam();
  RunChoices choices = CodeChoices(WriteImage("code.bin", MakeImage(kind.image)));
  choices.bootArea = kind.bootArea;
  RunProbe(run).Choose(choices);
  EXPECT_EQ(run.ClassifyImage(), kind.accepted);
  EXPECT_EQ(run.Refusal(), kind.refusal);
  if (!kind.accepted) {
    EXPECT_EQ(view.boxes, std::vector<std::string>{kind.line});
    if (*kind.refusal) {
      EXPECT_EQ(view.log.back(), (LogLine{"The " + std::string(kind.refusal) + ".", COLOR_ERROR, false}));
    }
    return;
  }
  EXPECT_EQ(view.log.back(), (LogLine{kind.line, COLOR_RUN, false}));
  const RunState& state = run.State();
  EXPECT_EQ(state.plan.areaBase, kind.areaBase);
  EXPECT_EQ(state.plan.areaLength, kind.areaLength);
  EXPECT_EQ(state.bootFirst, kind.bootFirst);
  EXPECT_EQ(state.step, STEP_START);
}

constexpr DWORD kFirst = 0x20000;
constexpr DWORD kSize = 0x80000;
constexpr DWORD kLoad = 0x100000;

INSTANTIATE_TEST_SUITE_P(
    HostedRun, CodeKinds,
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

TEST_F(HostedRun, BarAndTitleChangeOnlyWithTheWholePercentage) {
  RunProbe probe(run);
  // What the view is asked to show by one progress update.
  const auto update = [&](int index, int count) {
    view.shown.clear();
    probe.State().plan.blockIndex = index;
    probe.State().plan.blockCount = count;
    probe.UpdateProgress();
    return view.shown;
  };
  using Shown = std::vector<std::string>;
  probe.ResetProgress();
  EXPECT_EQ(update(2, 3), Shown{"66%"});
  EXPECT_EQ(view.address, "Addr = 0x4000");
  EXPECT_EQ(update(3, 3), Shown{"100%"});

  // A new area starting at the percentage the last one ended with leaves the bar at rest.
  probe.ResetProgress();
  EXPECT_EQ(update(3, 3), Shown{});

  const struct {
    int index;
    Shown shown;
  } steps[] = {{2, {"0%"}},  // 0 is always written
               {3, {"0%"}},
               {4, {"1%"}},
               {5, {}},
               {8, {"2%"}}};
  for (const auto& step : steps) EXPECT_EQ(update(step.index, 400), step.shown) << "block index " << step.index;
}

TEST(RunRules, TheElapsedTimeIsWholeMinutesAndSeconds) {
  for (const auto& [ms, text] : {std::pair<DWORD, const char*>{125000, "Elapsed time : 2 min 5 sec"},
                                 {59999, "Elapsed time : 0 min 59 sec"},
                                 {3600000, "Elapsed time : 60 min 0 sec"}}) {
    EXPECT_EQ(ElapsedText(ms), text);
  }
}

}  // namespace
}  // namespace testing_support
