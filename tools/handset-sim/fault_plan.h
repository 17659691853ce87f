// Faults the handset injects, each by request number (counting from 1) or by a probability per
// request drawn from a seeded generator, so that a run can be repeated exactly.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "tools/handset-sim/protocol.h"

namespace handset_sim {

enum class Fault {
  Nak,          // answer with `nakCode` and leave the request undone
  Silence,      // carry the request out but send no answer
  BadFcs,       // corrupt the FCS of the answer
  Split,        // write the answer in two parts with a pause between
  OpeningFlag,  // put a flag before the answer
  Late,         // carry the request out, hold its answer back (`hold`, or until the next request)
};

struct FaultRule {
  Fault fault = Fault::Silence;
  Byte nakCode = 0;                   // for Fault::Nak
  std::uint64_t atRequest = 0;        // fires on this request; 0: by rate
  double rate = 0.0;                  // probability per request, 1.0 for every request
  std::chrono::milliseconds hold{0};  // for Fault::Late
};

struct FaultDecision {
  std::optional<Byte> nak;
  bool silence = false;
  bool badFcs = false;
  bool split = false;
  bool openingFlag = false;
  std::optional<std::chrono::milliseconds> late;  // how long the answer is held back
};

class FaultPlan {
 public:
  explicit FaultPlan(std::vector<FaultRule> rules = {}, std::uint32_t seed = 1);

  // What happens to request `number`. Every rate rule draws once per request, so the same
  // seed gives the same faults whatever else the rules say.
  FaultDecision Decide(std::uint64_t number);

 private:
  bool Fires(const FaultRule& rule, std::uint64_t number);

  std::vector<FaultRule> m_rules;
  std::mt19937 m_random;
};

}  // namespace handset_sim
