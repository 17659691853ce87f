#include "tools/handset-sim/fault_plan.h"

#include <utility>

namespace handset_sim {

FaultPlan::FaultPlan(std::vector<FaultRule> rules, std::uint32_t seed) : m_rules(std::move(rules)), m_random(seed) {}

bool FaultPlan::Fires(const FaultRule& rule, std::uint64_t number) {
  if (rule.atRequest != 0) return rule.atRequest == number;
  // The generator's raw output, scaled by hand: the standard distributions may differ between
  // library versions, and a seed must give the same run everywhere.
  const double draw = static_cast<double>(m_random()) / 4294967296.0;
  return draw < rule.rate;
}

FaultDecision FaultPlan::Decide(std::uint64_t number) {
  FaultDecision decision;
  for (const FaultRule& rule : m_rules) {
    if (!Fires(rule, number)) continue;
    switch (rule.fault) {
      case Fault::Nak:
        if (!decision.nak) decision.nak = rule.nakCode;
        break;
      case Fault::Silence: decision.silence = true; break;
      case Fault::BadFcs: decision.badFcs = true; break;
      case Fault::Split: decision.split = true; break;
      case Fault::OpeningFlag: decision.openingFlag = true; break;
      case Fault::Late:
        if (!decision.late) decision.late = rule.hold;
        break;
    }
  }
  return decision;
}

}  // namespace handset_sim
