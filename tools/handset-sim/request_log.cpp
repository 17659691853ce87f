#include "tools/handset-sim/request_log.h"

#include <cstdio>
#include <fstream>

namespace handset_sim {
namespace {

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string Describe(const LogEntry& entry) {
  switch (entry.kind) {
    case LogEntry::Kind::BadFrame: return "BAD-FRAME";
    case LogEntry::Kind::TooLong: return "TOO-LONG";
    case LogEntry::Kind::AtCommand: return "AT$KVNUDG";
    case LogEntry::Kind::ModemCommand: return entry.command;
    case LogEntry::Kind::Raw: return "RAW offset=" + Hex(entry.offset, 8) + " count=" + std::to_string(entry.count);
    case LogEntry::Kind::Frame: break;
  }
  switch (entry.code) {
    case kCmdHello: return "HELLO";
    case kCmdCopyModule: return "COPY_MODULE";
    case kCmdReset: return "RESET";
    case kCmdSetBaud: return "SET_BAUD code=" + std::to_string(entry.baudCode);
    case kCmdErase: return "ERASE start=" + Hex(entry.offset, 8) + " length=" + Hex(entry.length, 8);
    case kCmdWrite: return "WRITE offset=" + Hex(entry.offset, 8) + " count=" + std::to_string(entry.count);
    default: return "UNKNOWN " + Hex(entry.code, 2);
  }
}

std::string Answer(const LogEntry& entry) {
  if (entry.kind == LogEntry::Kind::ModemCommand) return "OK";
  if (!entry.answer) return entry.kind == LogEntry::Kind::AtCommand ? "ignored" : "no answer";
  std::string text = ResponseName(*entry.answer);
  if (entry.badFcs) text += " (bad FCS)";
  if (entry.split) text += " (split)";
  if (entry.openingFlag) text += " (opening flag)";
  if (entry.late) text += " (late)";
  return text;
}

std::string Outcome(const LogEntry& entry) {
  if (entry.droppedOff) return "dropped off the bus";
  if (entry.ignored) return "ignored (hung)";
  return Answer(entry) + (entry.hangs ? ", then hangs" : "");
}

}  // namespace

std::string LogEntry::ToString() const {
  const std::string number = sequence == 0 ? "-" : "#" + std::to_string(sequence);
  return number + " " + Describe(*this) + " -> " + Outcome(*this);
}

std::uint64_t RequestCounts::Of(Byte code) const {
  const auto found = byCode.find(code);
  return found == byCode.end() ? 0 : found->second;
}

std::string FormatLog(const std::vector<LogEntry>& entries) {
  std::string text;
  for (const LogEntry& entry : entries) text += entry.ToString() + "\n";
  return text;
}

bool DumpLog(const std::vector<LogEntry>& entries, const std::string& path) {
  std::ofstream file(path, std::ios::trunc);
  file << FormatLog(entries);
  return static_cast<bool>(file.flush());
}

}  // namespace handset_sim
