// A mix of faults drawn from a seed, for runs that try many mixes: what it adds to a Config,
// and the options that say the same, so that a run that went wrong can be repeated by hand.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/handset-sim/config.h"

namespace handset_sim {

struct FaultSchedule {
  std::vector<FaultRule> faults;  // NAKs, a silence, a late answer, each at a request of its own
  std::chrono::milliseconds splitAnswersGap{0};
  std::uint64_t unplugAt = 0;
  bool leaveAtFinalReset = false;
  // As options, "--nak A2@5 --silence-at 9 --late 12:60000 --split-answers 2 ..."; empty when
  // the schedule holds nothing.
  std::string text;

  // As if the schedule's options followed those that made `config`.
  void AddTo(Config* config) const;
};

// Over requests 1 to `requestsInRun` (taken as at least 1): up to three NAKs of any code, a
// silence, a late answer held long past any host's time-out, an unplug at a request, a
// drop-off at the final reset. About a fifth of the seeds draw none of these and most draw
// three or fewer; split answers are on for about half, whatever else is drawn. The same seed
// and count give the same schedule with every build.
FaultSchedule DrawFaultSchedule(std::uint32_t seed, std::uint64_t requestsInRun);

}  // namespace handset_sim
