#include "tools/handset-sim/handset.h"

#include <algorithm>
#include <utility>

namespace handset_sim {
namespace {

std::uint32_t ReadU32(const Bytes& packet, std::size_t at) {
  return static_cast<std::uint32_t>(packet[at]) | static_cast<std::uint32_t>(packet[at + 1]) << 8 |
         static_cast<std::uint32_t>(packet[at + 2]) << 16 | static_cast<std::uint32_t>(packet[at + 3]) << 24;
}

std::uint16_t ReadU16(const Bytes& packet, std::size_t at) {
  return static_cast<std::uint16_t>(packet[at] | packet[at + 1] << 8);
}

bool IsFrameWith(const Inbound& item, Byte code) {
  return item.kind == Inbound::Kind::Frame && item.bytes[0] == code && item.bytes.size() == RequestLength(code);
}

bool IsBlock(const Inbound& item) { return item.kind == Inbound::Kind::Raw || IsFrameWith(item, kCmdWrite); }

}  // namespace

Handset::Handset(Mode mode, FaultPlan faults, Conduct conduct)
    : m_mode(mode), m_faults(std::move(faults)), m_conduct(conduct) {}

std::vector<Outcome> Handset::Receive(const Byte* data, std::size_t count) {
  std::vector<Outcome> outcomes;
  for (std::size_t i = 0; i < count; ++i) {
    std::optional<Outcome> outcome;
    if (m_mode == Mode::Normal) {
      outcome = PushNormal(data[i]);
    } else if (std::optional<Inbound> item = m_parser.Push(data[i])) {
      outcome = Handle(*item);
      UpdateExpectation();
    }
    if (!outcome) continue;
    outcomes.push_back(std::move(*outcome));
    if (outcomes.back().dropOff != DropOff::None) break;
  }
  return outcomes;
}

void Handset::Reattach(DropOff after) {
  m_mode = after == DropOff::Reset ? Mode::Normal : Mode::Download;
  m_hung = false;
  m_parser.Reset();
  m_atMatched = 0;
  m_modemLine.clear();
  // The host may have timed out on the block that was lost with the line.
  if (after == DropOff::Unplug && BlockDue()) m_rawArmed = true;
  UpdateExpectation();
}

std::optional<Outcome> Handset::PushNormal(Byte byte) {
  // 'A' occurs only at the start of the command, so a mismatch restarts the match simply.
  if (byte == static_cast<Byte>(kAtCommand[m_atMatched])) {
    ++m_atMatched;
  } else {
    m_atMatched = byte == 'A' ? 1 : 0;
  }
  if (m_atMatched < kAtCommandLength) return PushModemLine(byte);
  m_atMatched = 0;
  m_modemLine.clear();
  Outcome outcome = HandleAtCommand();
  outcome.entry.droppedOff = true;
  outcome.dropOff = DropOff::AtCommand;
  return Record(std::move(outcome));
}

std::optional<Outcome> Handset::PushModemLine(Byte byte) {
  // Whatever else comes is a modem command line, answered as modems do: a line begins at its
  // "AT", and what comes before (a download frame, say) means nothing here.
  constexpr std::size_t kLongestLine = 256;
  if (byte != '\r') {
    if (byte != '\n' && m_modemLine.size() < kLongestLine) m_modemLine += static_cast<char>(byte);
    return std::nullopt;
  }
  std::string line;
  line.swap(m_modemLine);
  const std::size_t start = std::min(line.find("AT"), line.find("at"));
  if (start == std::string::npos) return std::nullopt;
  Outcome outcome;
  outcome.entry.kind = LogEntry::Kind::ModemCommand;
  outcome.entry.command = line.substr(start);
  const char ok[] = "\r\nOK\r\n";
  outcome.answer.assign(ok, ok + sizeof ok - 1);
  return Record(std::move(outcome));
}

Outcome Handset::HandleAtCommand() {
  ++m_counts.atCommands;
  Outcome outcome;
  outcome.entry.kind = LogEntry::Kind::AtCommand;
  return outcome;
}

Outcome Handset::Handle(const Inbound& item) {
  // The download program has no use for the mode switch: it is already where it leads.
  if (item.kind == Inbound::Kind::AtCommand) return Record(HandleAtCommand());

  Outcome outcome;
  LogEntry& entry = outcome.entry;
  entry.sequence = ++m_requests;
  const bool afterBlock = m_lastWasBlock;
  m_lastWasBlock = IsBlock(item);
  const Byte verdict = Examine(item, entry);
  const FaultDecision fault = m_faults.Decide(entry.sequence);

  const bool unplugAtBlock = IsBlock(item) && ++m_blocks == m_conduct.unplugAtBlock;
  if (unplugAtBlock || entry.sequence == m_conduct.unplugAt) {
    // The request arrived whole; only its answer is lost with the line.
    if (verdict == kAck && !m_hung) CarryOut(item);
    return Record(LeaveBus(std::move(outcome), DropOff::Unplug));
  }
  if (m_hung) {
    entry.ignored = true;
    return Record(std::move(outcome));
  }
  entry.hangs = entry.sequence == m_conduct.hangAt;
  m_hung = entry.hangs;
  // The reset after the last block ends the download (the one after a baud change only takes
  // the new rate).
  const bool endsDownload = afterBlock && verdict == kAck && !fault.nak && IsFrameWith(item, kCmdReset);
  // Carrying that reset out is the restart itself, which this handset begins before it answers.
  if (endsDownload && m_conduct.leaveAtFinalReset) return Record(LeaveBus(std::move(outcome), DropOff::Reset));
  if (fault.silence) {
    // The request is carried out and its answer lost, so the host times out and, during block
    // transfer, goes on with raw blocks.
    if (verdict == kAck) {
      CarryOut(item);
      NoteWithheld(item);
    }
    return Record(std::move(outcome));
  }
  if (!fault.nak && verdict == kAck) {
    CarryOut(item);
    // A host that gives up waiting for the held answer goes on as after a silence.
    if (fault.late) NoteWithheld(item);
  }
  const Byte answer = fault.nak ? *fault.nak : verdict;
  entry.answer = answer;
  entry.badFcs = fault.badFcs;
  entry.split = fault.split;
  entry.openingFlag = fault.openingFlag;
  entry.late = fault.late.has_value();
  outcome.answer = EncodeFrame({answer}, FrameShape{fault.openingFlag, fault.badFcs});
  outcome.split = fault.split;
  outcome.holdFor = fault.late;
  // The answer goes out first, then the handset restarts and its port goes.
  if (endsDownload && m_conduct.restartAfterReset) outcome.dropOff = DropOff::Reset;
  return Record(std::move(outcome));
}

Outcome Handset::LeaveBus(Outcome outcome, DropOff reason) {
  outcome.entry.droppedOff = true;
  outcome.dropOff = reason;
  return outcome;
}

Byte Handset::Examine(const Inbound& item, LogEntry& entry) {
  switch (item.kind) {
    case Inbound::Kind::Frame: entry.kind = LogEntry::Kind::Frame; return ExamineFrame(item.bytes, entry);
    case Inbound::Kind::BadFrame:
      entry.kind = LogEntry::Kind::BadFrame;
      ++m_counts.badFrames;
      return kNakBadCrc;
    case Inbound::Kind::TooLong:
      entry.kind = LogEntry::Kind::TooLong;
      ++m_counts.badFrames;
      return kNakTooLarge;
    case Inbound::Kind::Raw:
      entry.kind = LogEntry::Kind::Raw;
      ++m_counts.rawBlocks;
      entry.offset = static_cast<std::uint32_t>(m_nextBlock);
      entry.count = static_cast<std::uint16_t>(item.bytes.size());
      return m_nextBlock + item.bytes.size() <= FlashImage::kCapacity ? kAck : kNakFailed;
    case Inbound::Kind::AtCommand: break;
  }
  return kNakInvalidCmd;
}

Byte Handset::ExamineFrame(const Bytes& packet, LogEntry& entry) {
  const Byte code = packet[0];
  entry.code = code;
  ++m_counts.byCode[code];
  if (RequestLength(code) != packet.size()) return kNakInvalidCmd;
  switch (code) {
    case kCmdSetBaud: entry.baudCode = packet[1]; return kAck;
    case kCmdErase:
      entry.offset = ReadU32(packet, 1);
      entry.length = ReadU32(packet, 5);
      return std::uint64_t{entry.offset} + entry.length <= FlashImage::kCapacity ? kAck : kNakFailed;
    case kCmdWrite:
      entry.offset = ReadU32(packet, 1);
      entry.count = ReadU16(packet, 5);
      if (entry.count > kBlockSize) return kNakTooLarge;
      return std::uint64_t{entry.offset} + entry.count <= FlashImage::kCapacity ? kAck : kNakFailed;
    default: return kAck;
  }
}

void Handset::CarryOut(const Inbound& item) {
  if (item.kind == Inbound::Kind::Raw) {
    m_flash.Write(static_cast<std::uint32_t>(m_nextBlock), item.bytes.data(), item.bytes.size());
    m_nextBlock += kBlockSize;
  } else if (IsFrameWith(item, kCmdErase)) {
    const std::uint32_t start = ReadU32(item.bytes, 1);
    const std::uint32_t length = ReadU32(item.bytes, 5);
    m_flash.Erase(start, length);
    m_erased = true;
    m_nextBlock = start;
    m_eraseEnd = std::uint64_t{start} + length;
  } else if (IsFrameWith(item, kCmdWrite)) {
    const std::uint32_t offset = ReadU32(item.bytes, 1);
    m_flash.Write(offset, item.bytes.data() + 7, ReadU16(item.bytes, 5));
    m_nextBlock = std::uint64_t{offset} + kBlockSize;
  }
}

void Handset::NoteWithheld(const Inbound& item) {
  if (IsBlock(item) || IsFrameWith(item, kCmdErase)) m_rawArmed = true;
}

void Handset::UpdateExpectation() {
  if (m_rawArmed && BlockDue()) {
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, m_eraseEnd - m_nextBlock));
    m_parser.ExpectRawOrFrame(length, static_cast<std::uint32_t>(m_nextBlock));
  } else {
    m_parser.ExpectFrames();
  }
}

Outcome Handset::Record(Outcome outcome) {
  m_log.push_back(outcome.entry);
  return outcome;
}

}  // namespace handset_sim
