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
                     "--late",
                     "11:60000",
                     "--split-answers",
                     "2",
                     "--unplug-at-block",
                     "3",
                     "--unplug-at",
                     "14",
                     "--leave-at-final-reset",
                     "--hang-at",
                     "12",
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
  EXPECT_FALSE(config.comesBack);
  EXPECT_TRUE(config.restartAfterReset);
  EXPECT_EQ(config.baud, 57600u);
  EXPECT_EQ(config.unplugAtBlock, 3u);
  EXPECT_EQ(config.unplugAt, 14u);
  EXPECT_TRUE(config.leaveAtFinalReset);
  EXPECT_EQ(config.splitAnswersGap.count(), 2);
  EXPECT_EQ(config.hangAt, 12u);
  EXPECT_EQ(config.seed, 99u);
  EXPECT_EQ(options.dumpFlash, "f.bin");
  EXPECT_EQ(options.dumpLog, "l.txt");
  EXPECT_TRUE(options.quiet);

  ASSERT_EQ(config.faults.size(), 10u);
  EXPECT_EQ(config.faults[0].fault, Fault::Nak);
  EXPECT_EQ(config.faults[0].nakCode, 0xA1);
  EXPECT_EQ(config.faults[0].atRequest, 2u);
  EXPECT_EQ(config.faults[1].nakCode, 0xA4);
  EXPECT_EQ(config.faults[2].nakCode, 0xA3);
  EXPECT_DOUBLE_EQ(config.faults[2].rate, 0.5);
  EXPECT_EQ(config.faults[4].atRequest, 9u);
  EXPECT_EQ(config.faults[8].fault, Fault::OpeningFlag);
  EXPECT_DOUBLE_EQ(config.faults[8].rate, 1.0);
  EXPECT_EQ(config.faults[9].fault, Fault::Late);
  EXPECT_EQ(config.faults[9].atRequest, 11u);
  EXPECT_EQ(config.faults[9].hold.count(), 60000);
}

TEST(Options, TakeADeviceFolder) {
  ProgramOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--dev-dir", "/tmp/dev", "--node", "ttyACM0", "--by-id", "usb-Maker_Handset_0123-if00",
                     "--by-path", "pci-0000:00:14.0-usb-0:2:1.0", "--udev-delay", "50", "--return-node", "ttyACM2",
                     "--return-by-id=usb-Maker_Handset_Download-if00", "--mode", "normal"},
                    &options, &error))
      << error;
  const handset_sim::Config& config = options.config;
  EXPECT_EQ(config.devDir, "/tmp/dev");
  EXPECT_EQ(config.node, "ttyACM0");
  EXPECT_EQ(config.byId, "usb-Maker_Handset_0123-if00");
  EXPECT_EQ(config.byPath, "pci-0000:00:14.0-usb-0:2:1.0");
  EXPECT_EQ(config.udevDelay.count(), 50);
  EXPECT_EQ(config.returnNode, "ttyACM2");
  EXPECT_EQ(config.returnById, "usb-Maker_Handset_Download-if00");
}

TEST(Options, RefuseWhatTheyCanNotUse) {
  const struct {
    std::vector<std::string> args;
    const char* says;
  } bad[] = {
      {{}, "--port, --dev-dir or --socket is required"},
      {{"--mode", "download"}, "--port, --dev-dir or --socket is required"},
      {{"--socket", "/tmp/usb0.sock", "--port", "3"}, "--port does not go with --socket"},
      {{"--socket", "/tmp/usb0.sock", "--by-path", "pci-0"}, "--by-path does not go with --socket"},
      {{"--port", "0"}, "bad value for --port"},
      {{"--port", "3x"}, "bad value for --port"},
      {{"--port", "3", "--mode", "emergency"}, "bad value for --mode"},
      {{"--port", "3", "--nak", "A5@1"}, "bad value for --nak"},
      {{"--port", "3", "--nak", "A1"}, "bad value for --nak"},
      {{"--port", "3", "--nak", "A1@0"}, "bad value for --nak"},
      {{"--port", "3", "--silence-rate", "1.5"}, "bad value for --silence-rate"},
      {{"--port", "3", "--baud", "-1"}, "bad value for --baud"},
      {{"--port", "3", "--hang-at", "0"}, "bad value for --hang-at"},
      {{"--port", "3", "--unplug-at", "0"}, "bad value for --unplug-at"},
      {{"--port", "3", "--late", "5"}, "bad value for --late"},
      {{"--port", "3", "--late", "0:100"}, "bad value for --late"},
      {{"--port", "3", "--late", "5:-1"}, "bad value for --late"},
      {{"--port", "3", "--split-answers", "2ms"}, "bad value for --split-answers"},
      {{"--port", "3", "--fault-seed", "4294967296"}, "bad value for --fault-seed"},
      {{"--port", "3", "--fault-seed", "1", "--fault-requests", "0"}, "bad value for --fault-requests"},
      {{"--port", "3", "--fault-requests", "30"}, "--fault-requests needs --fault-seed"},
      {{"--port", "3", "--quiet=yes"}, "--quiet takes no value"},
      {{"--port", "3", "--dump-log"}, "--dump-log needs a value"},
      {{"--port", "3", "--colour"}, "unknown option --colour"},
      {{"--port", "3", "--node", "ttyACM0"}, "--node needs --dev-dir"},
      {{"--port", "3", "--return-by-id", "usb-X"}, "--return-by-id needs --dev-dir"},
      {{"--dev-dir", "/tmp/dev", "--node", "ttyACM0", "--port", "3"}, "--port and --dev-dir are alternatives"},
      {{"--dev-dir", "/tmp/dev", "--node", "ttyACM0", "--return-port", "4"},
       "--return-port and --dev-dir are alternatives"},
      {{"--ports-dir", "/tmp/ports", "--dev-dir", "/tmp/dev", "--node", "ttyACM0"},
       "--ports-dir and --dev-dir are alternatives"},
      {{"--dev-dir", "/tmp/dev", "--by-id", "usb-X"}, "--dev-dir needs --node"},
      {{"--dev-dir", "/tmp/dev", "--node", "serial/ttyACM0"}, "bad value for --node"},
      {{"--dev-dir", "/tmp/dev", "--node", ".."}, "bad value for --node"},
      {{"--dev-dir", "/tmp/dev", "--node", "ttyACM0", "--by-path", ""}, "bad value for --by-path"},
      {{"--dev-dir", "", "--node", "ttyACM0"}, "bad value for --dev-dir"},
  };
  for (const auto& [args, says] : bad) {
    ProgramOptions options;
    std::string error;
    EXPECT_FALSE(Parse(args, &options, &error)) << ::testing::PrintToString(args);
    EXPECT_NE(error.find(says), std::string::npos) << ::testing::PrintToString(args) << ": " << error;
  }
}

TEST(Options, HelpNeedsNothingElse) {
  ProgramOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--help"}, &options, &error));
  EXPECT_TRUE(options.help);
}

}  // namespace
