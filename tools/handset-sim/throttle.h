// Paces one direction of the line to a baud rate, ten bits to a byte (start, eight data bits,
// stop), as a real serial link would carry it.
#pragma once

#include <chrono>
#include <cstddef>

namespace handset_sim {

class Throttle {
 public:
  using Clock = std::chrono::steady_clock;

  // 0: no pacing.
  explicit Throttle(unsigned baud = 0) : m_baud(baud) {}

  bool Enabled() const { return m_baud != 0; }
  // How many bytes to move in one step: about ten milliseconds of line time.
  std::size_t StepBytes() const;
  // When the line is free for the next transfer.
  Clock::time_point FreeAt() const { return m_freeAt; }
  // Books `bytes` on the line, starting at `now` or when the line is free, whichever is later.
  // An idle line earns no credit: a burst after a pause is paced like any other. But bytes that
  // were waiting behind a full step go out back to back, as a UART sends them: a step booked
  // a little late, because this side woke late, starts when the line became free.
  Clock::time_point Book(std::size_t bytes, Clock::time_point now);

 private:
  Clock::duration LineTime(std::size_t bytes) const;

  unsigned m_baud;
  Clock::time_point m_freeAt{};
  bool m_backlog = false;  // the last transfer filled its step: more was waiting
};

}  // namespace handset_sim
