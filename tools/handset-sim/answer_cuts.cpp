#include "tools/handset-sim/answer_cuts.h"

namespace handset_sim {

std::vector<std::size_t> AnswerCuts::Next(const Bytes& answer) {
  if (answer.size() < 2) return {};
  const std::uint64_t turn = m_turns[answer]++;
  const std::size_t points = answer.size() - 1;
  const std::size_t first = 1 + static_cast<std::size_t>(turn % points);
  if (turn % 3 != 2 || first == points) return {first};
  // The second cut wanders through what lies beyond the first.
  const std::size_t beyond = points - first;
  return {first, first + 1 + static_cast<std::size_t>(turn / 3 % beyond)};
}

}  // namespace handset_sim
