// The command line of flashgate-handset-sim.
#pragma once

#include <string>
#include <vector>

#include "tools/handset-sim/simulator.h"

namespace handset_sim {

struct ProgramOptions {
  Config config;
  std::string dumpFlash;  // empty: no flash dump
  std::string dumpLog;    // empty: no log dump
  // "fault schedule (seed S): OPTIONS", printed at start; empty without --fault-seed.
  std::string faultSchedule;
  bool quiet = false;
  bool help = false;
};

// False with a message in `error` when the arguments (without the program name) are unusable.
bool ParseOptions(const std::vector<std::string>& args, ProgramOptions* options, std::string* error);
std::string UsageText();

}  // namespace handset_sim
