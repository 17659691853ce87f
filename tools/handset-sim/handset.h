// The handset's download program, without any I/O: bytes from the host go in, answers and
// drop-offs come out. One request is answered at a time, as the host sends them.
//
// Raw data: after the host has timed out during block transfer it sends the remaining blocks
// as bare data. The handset is ready for that once it has withheld the answer to an erase or
// a block (an injected silence or a late answer), or has come back from an unplug while
// blocks were due. From then on, whenever a block is due, a raw block of the next block's
// length (8192 bytes, or what is left of the erased range) is written at the next block
// offset: the erase start for the first block, else the previous block's offset + 8192. The
// host never leaves raw mode within a run, not even for the second area of a boot+code image,
// so neither does the handset; framed requests are still recognised (see InboundParser).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/handset-sim/fault_plan.h"
#include "tools/handset-sim/flash_image.h"
#include "tools/handset-sim/frame_codec.h"
#include "tools/handset-sim/inbound_parser.h"
#include "tools/handset-sim/request_log.h"

namespace handset_sim {

enum class Mode {
  Download,  // the download program answers every request
  Normal,    // the normal software: a modem, which the AT command restarts in download mode
};

enum class DropOff { None, AtCommand, Unplug, Reset };

struct Outcome {
  LogEntry entry;
  Bytes answer;  // the bytes to write; empty when nothing is sent
  bool split = false;
  // The answer is held back this long, or until the next request comes, whichever is sooner.
  std::optional<std::chrono::milliseconds> holdFor;
  DropOff dropOff = DropOff::None;
};

// Where the handset leaves the bus of its own accord, and when it hangs. Requests and blocks
// count from 1; 0: never.
struct Conduct {
  // Leave the bus when that block (write request or raw block) arrives; it is written, and
  // its answer is lost with the line. The cable can still be pulled while the handset hangs;
  // the block is then not written.
  std::uint64_t unplugAtBlock = 0;
  // The same on that request, whatever it is: carried out if it is good, never answered.
  std::uint64_t unplugAt = 0;
  // The answered reset that follows a block restarts the handset into its normal software.
  bool restartAfterReset = false;
  // The reset that follows a block restarts the handset at once, unanswered.
  bool leaveAtFinalReset = false;
  // After this request, answered as the faults say, the handset hangs: it carries nothing out
  // and answers nothing, and only logs what comes, until it is unplugged.
  std::uint64_t hangAt = 0;
};

class Handset {
 public:
  Handset(Mode mode, FaultPlan faults, Conduct conduct = {});

  // One outcome per request completed by these bytes. After a drop-off the rest is lost with
  // the line.
  std::vector<Outcome> Receive(const Byte* data, std::size_t count);
  // Back on the bus: in normal mode after a reset, else in download mode, and no longer hung.
  // After an unplug the flash, the erased range and the block position survive; after the AT
  // command or a reset the handset has restarted.
  void Reattach(DropOff after);

  Mode CurrentMode() const { return m_mode; }
  bool Hung() const { return m_hung; }
  const FlashImage& Flash() const { return m_flash; }
  const std::vector<LogEntry>& Log() const { return m_log; }
  const RequestCounts& Counts() const { return m_counts; }

 private:
  std::optional<Outcome> PushNormal(Byte byte);
  Outcome HandleAtCommand();
  std::optional<Outcome> PushModemLine(Byte byte);
  Outcome Handle(const Inbound& item);
  Outcome LeaveBus(Outcome outcome, DropOff reason);
  Byte Examine(const Inbound& item, LogEntry& entry);
  Byte ExamineFrame(const Bytes& packet, LogEntry& entry);
  void CarryOut(const Inbound& item);
  void NoteWithheld(const Inbound& item);
  bool BlockDue() const { return m_erased && m_nextBlock < m_eraseEnd; }
  void UpdateExpectation();
  Outcome Record(Outcome outcome);

  Mode m_mode;
  FaultPlan m_faults;
  const Conduct m_conduct;
  InboundParser m_parser;
  std::size_t m_atMatched = 0;  // bytes of the AT command seen so far (normal mode)
  std::string m_modemLine;      // the command line under way (normal mode)

  FlashImage m_flash;
  std::vector<LogEntry> m_log;
  RequestCounts m_counts;
  std::uint64_t m_requests = 0;
  std::uint64_t m_blocks = 0;  // write requests and raw blocks received

  bool m_erased = false;
  std::uint64_t m_eraseEnd = 0;
  std::uint64_t m_nextBlock = 0;  // where the next block goes
  bool m_rawArmed = false;
  bool m_lastWasBlock = false;  // the last numbered request was a block
  bool m_hung = false;
};

}  // namespace handset_sim
