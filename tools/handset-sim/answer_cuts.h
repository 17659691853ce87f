// Where the handset cuts its answers when every answer goes out in pieces. Each answer, as its
// bytes on the line, takes the cut points 1 to length - 1 in turn, and every third time it is
// cut twice, so that over a run the host meets every way each answer can arrive in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "tools/handset-sim/frame_codec.h"

namespace handset_sim {

class AnswerCuts {
 public:
  // The offsets at which to cut `answer` this time, ascending; none for a single byte.
  std::vector<std::size_t> Next(const Bytes& answer);

 private:
  std::map<Bytes, std::uint64_t> m_turns;  // answers cut so far, by their bytes
};

}  // namespace handset_sim
