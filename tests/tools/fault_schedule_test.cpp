// Fault mixes drawn from seeds: repeatable, small, and said as the options that make them.
#include "tools/handset-sim/fault_schedule.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "tools/handset-sim/options.h"

namespace {

using handset_sim::Config;
using handset_sim::DrawFaultSchedule;
using handset_sim::FaultSchedule;

// What a schedule can change in a config.
std::string FaultsOf(const Config& config) {
  std::ostringstream text;
  for (const handset_sim::FaultRule& rule : config.faults) {
    text << static_cast<int>(rule.fault) << ":" << int{rule.nakCode} << "@" << rule.atRequest << "/"
         << rule.hold.count() << " ";
  }
  text << "split " << config.splitAnswersGap.count() << " unplug " << config.unplugAt << " leave "
       << config.leaveAtFinalReset;
  return text.str();
}

Config Parsed(const std::string& options, std::string* scheduleLine = nullptr) {
  std::vector<std::string> args = {"--port", "1"};
  std::istringstream words(options);
  for (std::string word; words >> word;) args.push_back(word);
  handset_sim::ProgramOptions parsed;
  std::string error;
  EXPECT_TRUE(handset_sim::ParseOptions(args, &parsed, &error)) << options << ": " << error;
  if (scheduleLine) *scheduleLine = parsed.faultSchedule;
  return parsed.config;
}

// Over many seeds: the same seed draws the same schedule, its text and --fault-seed make the
// same config as the schedule itself, and the schedules are small, varied, and often clean.
TEST(FaultSchedule, DrawsSmallRepeatableMixesThatItsTextMakes) {
  constexpr int kSeeds = 400;
  std::set<std::string> texts;
  int clean = 0;
  int small = 0;
  for (std::uint32_t seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const FaultSchedule schedule = DrawFaultSchedule(seed, 24);
    EXPECT_EQ(DrawFaultSchedule(seed, 24).text, schedule.text);
    Config drawn;
    schedule.AddTo(&drawn);
    EXPECT_EQ(FaultsOf(Parsed(schedule.text)), FaultsOf(drawn)) << schedule.text;
    std::string line;
    EXPECT_EQ(FaultsOf(Parsed("--fault-seed " + std::to_string(seed), &line)), FaultsOf(drawn));
    EXPECT_EQ(line, "fault schedule (seed " + std::to_string(seed) +
                        "): " + (schedule.text.empty() ? "no faults" : schedule.text));
    const std::size_t faults = schedule.faults.size() + (schedule.unplugAt != 0) + schedule.leaveAtFinalReset;
    clean += faults == 0;
    small += faults <= 3;
    texts.insert(schedule.text);
  }
  // The clean schedules share two texts, and many one-fault schedules another few.
  EXPECT_GT(texts.size(), kSeeds / 2);
  EXPECT_GT(clean, kSeeds / 8);
  EXPECT_LT(clean, kSeeds / 3);
  EXPECT_GT(small, kSeeds * 9 / 10);
}

}  // namespace
