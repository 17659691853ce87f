#include "tools/handset-sim/fault_schedule.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>

namespace handset_sim {
namespace {

// Long past any host's time-out, so that in practice the host's resend releases the answer.
constexpr std::chrono::milliseconds kLateHold{60000};
constexpr std::chrono::milliseconds kSplitAnswersGap{2};

// How many faults a schedule holds (0, 1, 2, ...), by weight.
const std::vector<unsigned> kFaultCountWeights = {20, 35, 25, 14, 6};

enum class Kind { Nak, Silence, Late, Unplug, LeaveAtFinalReset };

struct KindShare {
  Kind kind;
  unsigned weight;
  unsigned most;  // in one schedule
};

constexpr KindShare kKinds[] = {
    {Kind::Nak, 3, 3}, {Kind::Silence, 2, 1}, {Kind::Late, 2, 1}, {Kind::Unplug, 1, 1}, {Kind::LeaveAtFinalReset, 1, 1},
};

// The generator's raw output, scaled by hand as FaultPlan does: the standard distributions may
// differ between library versions, and a seed must give the same schedule everywhere.
class Draws {
 public:
  explicit Draws(std::uint32_t seed) : m_random(seed) {}

  // 0 to count - 1.
  std::uint64_t Below(std::uint64_t count) {
    const std::uint64_t high = m_random();
    const std::uint64_t low = m_random();
    return (high << 32 | low) % count;
  }

  // An index into `weights`, each as likely as its weight.
  std::size_t Weighted(const std::vector<unsigned>& weights) {
    unsigned total = 0;
    for (const unsigned weight : weights) total += weight;
    std::uint64_t draw = Below(total);
    std::size_t index = 0;
    while (draw >= weights[index]) draw -= weights[index++];
    return index;
  }

 private:
  std::mt19937 m_random;
};

// Draws the faults one by one, each of a kind that has not yet reached its most.
class Drawing {
 public:
  Drawing(std::uint32_t seed, std::uint64_t requests)
      : m_draws(seed), m_requests(std::max<std::uint64_t>(1, requests)) {}

  FaultSchedule Draw() {
    const std::size_t count = m_draws.Weighted(kFaultCountWeights);
    for (std::size_t i = 0; i < count; ++i) Add(NextKind());
    std::sort(m_naks.begin(), m_naks.end());
    for (const auto& [at, code] : m_naks) m_schedule.faults.push_back(FaultRule{Fault::Nak, code, at, 0.0});
    if (m_silenceAt != 0) m_schedule.faults.push_back(FaultRule{Fault::Silence, 0, m_silenceAt, 0.0});
    if (m_lateAt != 0) m_schedule.faults.push_back(FaultRule{Fault::Late, 0, m_lateAt, 0.0, kLateHold});
    if (m_draws.Below(2) == 1) m_schedule.splitAnswersGap = kSplitAnswersGap;
    return m_schedule;
  }

 private:
  Kind NextKind() {
    std::vector<Kind> open;
    std::vector<unsigned> weights;
    for (const KindShare& share : kKinds) {
      if (m_counts[share.kind] == share.most) continue;
      open.push_back(share.kind);
      weights.push_back(share.weight);
    }
    return open[m_draws.Weighted(weights)];
  }

  void Add(Kind kind) {
    ++m_counts[kind];
    switch (kind) {
      case Kind::Nak: {
        const std::uint64_t at = Request();
        m_naks.emplace_back(at, static_cast<Byte>(kNakBadCrc + m_draws.Below(4)));
        break;
      }
      case Kind::Silence: m_silenceAt = Request(); break;
      case Kind::Late: m_lateAt = Request(); break;
      case Kind::Unplug: m_schedule.unplugAt = Request(); break;
      case Kind::LeaveAtFinalReset: m_schedule.leaveAtFinalReset = true; break;
    }
  }

  // A request no other fault has, while there are such, so that no fault hides another.
  std::uint64_t Request() {
    std::uint64_t at = 0;
    do {
      at = 1 + m_draws.Below(m_requests);
    } while (m_taken.size() < m_requests && m_taken.count(at));
    m_taken.insert(at);
    return at;
  }

  Draws m_draws;
  const std::uint64_t m_requests;
  std::set<std::uint64_t> m_taken;
  std::map<Kind, unsigned> m_counts;
  std::vector<std::pair<std::uint64_t, Byte>> m_naks;  // request, code
  std::uint64_t m_silenceAt = 0;
  std::uint64_t m_lateAt = 0;
  FaultSchedule m_schedule;
};

// The options that make `rule`, one of those a schedule holds.
std::string RuleOption(const FaultRule& rule) {
  const std::string at = std::to_string(rule.atRequest);
  if (rule.fault == Fault::Silence) return "--silence-at " + at;
  if (rule.fault == Fault::Late) return "--late " + at + ":" + std::to_string(rule.hold.count());
  char code[8];
  std::snprintf(code, sizeof code, "%02X", static_cast<unsigned>(rule.nakCode));
  return "--nak " + std::string(code) + "@" + at;
}

std::string OptionsText(const FaultSchedule& schedule) {
  std::string text;
  auto add = [&text](const std::string& option) { text += (text.empty() ? "" : " ") + option; };
  for (const FaultRule& rule : schedule.faults) add(RuleOption(rule));
  if (schedule.splitAnswersGap.count() > 0) add("--split-answers " + std::to_string(schedule.splitAnswersGap.count()));
  if (schedule.unplugAt != 0) add("--unplug-at " + std::to_string(schedule.unplugAt));
  if (schedule.leaveAtFinalReset) add("--leave-at-final-reset");
  return text;
}

}  // namespace

void FaultSchedule::AddTo(Config* config) const {
  config->faults.insert(config->faults.end(), faults.begin(), faults.end());
  if (splitAnswersGap.count() > 0) config->splitAnswersGap = splitAnswersGap;
  if (unplugAt != 0) config->unplugAt = unplugAt;
  if (leaveAtFinalReset) config->leaveAtFinalReset = true;
}

FaultSchedule DrawFaultSchedule(std::uint32_t seed, std::uint64_t requestsInRun) {
  FaultSchedule schedule = Drawing(seed, requestsInRun).Draw();
  schedule.text = OptionsText(schedule);
  return schedule;
}

}  // namespace handset_sim
