// What the handset received and what it did about it, one entry per request.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/handset-sim/protocol.h"

namespace handset_sim {

struct LogEntry {
  // ModemCommand: any other AT command line, which the normal software answers "OK", as a
  // modem does to a modem manager's probe.
  enum class Kind { Frame, BadFrame, TooLong, Raw, AtCommand, ModemCommand };

  std::uint64_t sequence = 0;  // request number from 1; 0 for the AT command, which is not numbered
  Kind kind = Kind::Frame;
  Byte code = 0;  // the command code of a frame
  // As the request carries them: erase start and length, write or raw block offset and count,
  // the baud code of a set-baud request.
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
  std::uint16_t count = 0;
  Byte baudCode = 0;
  std::string command;  // a modem command's line, without its carriage return

  std::optional<Byte> answer;  // nothing: no answer was sent
  bool badFcs = false;         // the answer carried a corrupted FCS
  bool split = false;          // the answer went out in two writes
  bool openingFlag = false;    // the answer began with a flag
  bool late = false;           // the answer was held back
  bool droppedOff = false;     // the handset left the bus on this request
  bool hangs = false;          // the handset hung after this request
  bool ignored = false;        // it came while the handset hung: neither carried out nor answered

  std::string ToString() const;
};

struct RequestCounts {
  std::map<Byte, std::uint64_t> byCode;  // frames with a good FCS, by command code
  std::uint64_t badFrames = 0;           // bad FCS, broken escapes or too long
  std::uint64_t rawBlocks = 0;
  std::uint64_t atCommands = 0;

  std::uint64_t Of(Byte code) const;
};

std::string FormatLog(const std::vector<LogEntry>& entries);
bool DumpLog(const std::vector<LogEntry>& entries, const std::string& path);

}  // namespace handset_sim
