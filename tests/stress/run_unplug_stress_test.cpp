// Whole runs with the cable pulled at random blocks, one after the other in one window, as a
// technician's bench sees them: every run ends with the controls back, nothing hangs, and
// no descriptor is left behind.
#include <random>

#include "resources/resource.h"
#include "serial/thread_rx.h"
#include "tests/download/run_fixture.h"
#include "tests/support/thread_probe.h"

namespace testing_support {
namespace {

constexpr int kRuns = 200;
constexpr std::uint64_t kBlocks = 16;
constexpr std::uint64_t kRequestsBeforeBlocks = 6;

TEST_F(DownloadRun, TwoHundredRunsUnpluggedAtRandomBlocksEachEndIdle) {
  handset_sim::Config config;
  config.returnDelay = std::chrono::milliseconds(0);
  StartHandset(config);
  const std::string path = WriteImage("code.bin", MakeImage({"CODE", kBlocks * 8192}));
  std::mt19937 random(2026);

  RunDialog([&] {
    SelectCode(path);
    const int descriptors = OpenDescriptorCount();
    for (int run = 0; run < kRuns; ++run) {
      ASSERT_TRUE(handset->WaitForReturns(static_cast<std::uint64_t>(run), std::chrono::seconds(5))) << "run " << run;
      const std::uint64_t block = random() % kBlocks;
      const std::uint64_t before = handset->Log().size();
      PressDownload();
      ASSERT_TRUE(PumpUntilRequests(before + kRequestsBeforeBlocks + block + 1)) << "run " << run;
      handset->TriggerUnplug();

      ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_DOWNLOAD); })) << "run " << run;
      EXPECT_EQ(Title(), kWindowTitle) << "run " << run;
      EXPECT_TRUE(Visible(IDC_IDLE_BAR)) << "run " << run;
      EXPECT_EQ(dialog.m_run.State().step, STEP_START) << "run " << run;
      ASSERT_FALSE(g_bThreadActive) << "run " << run;
      ASSERT_FALSE(g_bPortOpen) << "run " << run;
    }
    ASSERT_TRUE(handset->WaitForReturns(kRuns, std::chrono::seconds(5)));
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
  });
}

}  // namespace
}  // namespace testing_support
