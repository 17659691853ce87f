#include "tools/handset-sim/options.h"

#include <gtest/gtest.h>

namespace {

using handset_sim::Fault;
using handset_sim::ProgramOptions;

bool Parse(const std::vector<std::string>& args, ProgramOptions* options, std::string* error) {
  return handset_sim::ParseOptions(args, options, error);
}

TEST(Options, TakeEveryKnob) {
  ProgramOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--port",
                     "3",
                     "--ports-dir=/tmp/ports",
                     "--mode",
                     "normal",
                     "--return-port",
                     "4",
                     "--return-delay",
                     "150",
                     "--no-return",
                     "--restart-after-reset",
                     "--baud",
                     "57600",
                     "--dump-flash",
                     "f.bin",
                     "--dump-log",
                     "l.txt",
                     "--nak",
                     "A1@2",
                     "--nak",
                     "nak_failed@5",
                     "--nak-rate",
                     "0xA3:0.5",
                     "--silence-at",
                     "7",
                     "--silence-at",
                     "9",
                     "--silence-rate",
                     "0.1",
                     "--bad-fcs-at",
                     "4",
                     "--split-at",
                     "6",
                     "--opening-flag",
                     "--unplug-at-block",
                     "3",
                     "--seed",
                     "99",
                     "--quiet"},
                    &options, &error))
      << error;
  const handset_sim::Config& config = options.config;
  EXPECT_EQ(config.port, 3u);
  EXPECT_EQ(config.portsDir, "/tmp/ports");
  EXPECT_EQ(config.mode, handset_sim::Mode::Normal);
  EXPECT_EQ(config.returnPort, 4u);
  EXPECT_EQ(config.returnDelay.count(), 150);
  EXPECT_FALSE(config.returnAfterUnplug);
  EXPECT_TRUE(config.restartAfterReset);
  EXPECT_EQ(config.baud, 57600u);
  EXPECT_EQ(config.unplugAtBlock, 3u);
  EXPECT_EQ(config.seed, 99u);
  EXPECT_EQ(options.dumpFlash, "f.bin");
  EXPECT_EQ(options.dumpLog, "l.txt");
  EXPECT_TRUE(options.quiet);

  ASSERT_EQ(config.faults.size(), 9u);
  EXPECT_EQ(config.faults[0].fault, Fault::Nak);
  EXPECT_EQ(config.faults[0].nakCode, 0xA1);
  EXPECT_EQ(config.faults[0].atRequest, 2u);
  EXPECT_EQ(config.faults[1].nakCode, 0xA4);
  EXPECT_EQ(config.faults[2].nakCode, 0xA3);
  EXPECT_DOUBLE_EQ(config.faults[2].rate, 0.5);
  EXPECT_EQ(config.faults[4].atRequest, 9u);
  EXPECT_EQ(config.faults[8].fault, Fault::OpeningFlag);
  EXPECT_DOUBLE_EQ(config.faults[8].rate, 1.0);
}

TEST(Options, RefuseWhatTheyCanNotUse) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--mode", "download"},
      {"--port", "0"},
      {"--port", "3x"},
      {"--port", "3", "--mode", "emergency"},
      {"--port", "3", "--nak", "A5@1"},
      {"--port", "3", "--nak", "A1"},
      {"--port", "3", "--nak", "A1@0"},
      {"--port", "3", "--silence-rate", "1.5"},
      {"--port", "3", "--baud", "-1"},
      {"--port", "3", "--quiet=yes"},
      {"--port", "3", "--dump-log"},
      {"--port", "3", "--colour"},
  };
  for (const auto& args : bad) {
    ProgramOptions options;
    std::string error;
    EXPECT_FALSE(Parse(args, &options, &error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

TEST(Options, HelpNeedsNothingElse) {
  ProgramOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--help"}, &options, &error));
  EXPECT_TRUE(options.help);
}

}  // namespace
