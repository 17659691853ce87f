#include "download/run_account.h"

#include <algorithm>
#include <limits>

#include "image/image_block.h"
#include "link/line_clock.h"

static_assert(sizeof(RunAccount::Block) <= 12, "a few bytes a block, whatever the image's size");

namespace {

std::uint32_t Clamped(std::uint64_t value) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

void RunAccount::Clear() {
  m_areas.clear();
  m_mishaps.clear();
  m_outstanding = kNoRequest;
  m_sendsSinceAnswer = 0;
  m_possibleStrays = 0;
  m_uncertain = 0;
  m_startUs = LineClockUs();
}

void RunAccount::BeginArea(DWORD shownBase, DWORD length, int blockCount) {
  MovedOn();
  Area area;
  area.shownBase = shownBase;
  area.length = length;
  area.blocks.assign(static_cast<std::size_t>(blockCount > 0 ? blockCount : 0), Block{});
  m_areas.push_back(std::move(area));
}

void RunAccount::SentHello() { Send(kHello); }

void RunAccount::SentOtherRequest() { Send(kOtherRequest); }

void RunAccount::SentErase() {
  if (m_areas.empty()) return;
  Send(kErase);
  m_areas.back().erase = Fate::Awaiting;
}

void RunAccount::SentBlock(int index, bool raw) {
  if (m_areas.empty() || index < 0) return;
  Send(index);
  // An area shorter than a block still sends block 0.
  std::vector<Block>& blocks = m_areas.back().blocks;
  if (static_cast<std::size_t>(index) >= blocks.size()) blocks.resize(static_cast<std::size_t>(index) + 1);
  Block& block = blocks[static_cast<std::size_t>(index)];
  block.fate = Fate::Awaiting;
  block.tries = 1;
  block.raw = raw;
  block.sentMs = Clamped(SinceStartUs() / 1000);
}

void RunAccount::Send(int request) {
  MovedOn();
  m_outstanding = request;
  m_sendsSinceAnswer = 1;
  m_sentUs = LineClockUs();
}

void RunAccount::Resent() {
  ++m_sendsSinceAnswer;
  if (m_outstanding == kNoRequest) return;
  if (m_outstanding >= 0 && !m_areas.empty()) {
    Block& block = m_areas.back().blocks[static_cast<std::size_t>(m_outstanding)];
    // A resend repeats the last framed request: never a bare block, which then stays unanswered.
    if (block.raw) {
      MovedOn();
      return;
    }
    if (block.tries < std::numeric_limits<std::uint8_t>::max()) ++block.tries;
    block.sentMs = Clamped(SinceStartUs() / 1000);
  }
  m_sentUs = LineClockUs();
}

void RunAccount::Acknowledged() {
  if (m_outstanding != kNoRequest && !m_areas.empty()) {
    const std::uint32_t roundTrip = Clamped(LineClockUs() - m_sentUs);
    Area& area = m_areas.back();
    if (m_outstanding == kHello) {
      area.helloRoundTripsUs.push_back(roundTrip);
    } else if (m_outstanding == kErase) {
      area.eraseRoundTripUs = roundTrip;
    } else if (m_outstanding >= 0) {
      area.blocks[static_cast<std::size_t>(m_outstanding)].roundTripUs = roundTrip;
    }
  }
  if (Fate* fate = OutstandingFate()) {
    *fate = Fate::Confirmed;
    // While an earlier send may still be answered, this ACK may be that answer.
    if (m_possibleStrays > 0) ++m_uncertain;
  }
  Answered();
  m_outstanding = kNoRequest;
}

void RunAccount::Refused(BYTE nakCode) {
  Note(Mishap::Kind::Nak, nakCode);
  Answered();
}

void RunAccount::Answered() {
  // One answer for the request; each other send of it may still bring one.
  if (m_sendsSinceAnswer > 1) m_possibleStrays += m_sendsSinceAnswer - 1;
  m_sendsSinceAnswer = 0;
}

void RunAccount::NoAnswer() { Note(Mishap::Kind::Silence, 0); }

void RunAccount::Reconnected() { Note(Mishap::Kind::Reconnection, 0); }

void RunAccount::Note(Mishap::Kind kind, BYTE code) {
  Mishap mishap;
  mishap.atUs = SinceStartUs();
  mishap.kind = kind;
  mishap.code = code;
  mishap.area = static_cast<int>(m_areas.size()) - 1;
  mishap.request = m_outstanding;
  m_mishaps.push_back(mishap);
}

void RunAccount::MovedOn() {
  if (Fate* fate = OutstandingFate()) *fate = Fate::Unconfirmed;
  // Every send of a request the run moved on from may yet be answered, late.
  m_possibleStrays += m_sendsSinceAnswer;
  m_sendsSinceAnswer = 0;
  m_outstanding = kNoRequest;
}

RunAccount::Fate* RunAccount::OutstandingFate() {
  if (m_areas.empty()) return nullptr;
  Area& area = m_areas.back();
  if (m_outstanding == kErase) return &area.erase;
  if (m_outstanding >= 0) return &area.blocks[static_cast<std::size_t>(m_outstanding)].fate;
  return nullptr;
}

std::uint64_t RunAccount::SinceStartUs() const {
  const std::uint64_t now = LineClockUs();
  return now > m_startUs ? now - m_startUs : 0;
}

bool RunAccount::AllConfirmed() const {
  if (m_uncertain > 0) return false;
  for (const Area& area : m_areas) {
    if (area.erase != Fate::Confirmed) return false;
    for (const Block& block : area.blocks) {
      if (block.fate != Fate::Confirmed) return false;
    }
  }
  return true;
}

int RunAccount::BlockCount() const {
  int count = 0;
  for (const Area& area : m_areas) count += static_cast<int>(area.blocks.size());
  return count;
}

int RunAccount::UnconfirmedBlocks() const {
  int count = 0;
  for (const Area& area : m_areas) {
    for (const Block& block : area.blocks) count += NotConfirmed(block.fate) ? 1 : 0;
  }
  return count;
}

int RunAccount::UnconfirmedErases() const {
  int count = 0;
  for (const Area& area : m_areas) count += NotConfirmed(area.erase) ? 1 : 0;
  return count;
}

std::vector<RunAccount::Gap> RunAccount::Gaps() const {
  std::vector<Gap> gaps;
  for (const Area& area : m_areas) {
    if (NotConfirmed(area.erase)) gaps.push_back(Gap{area.shownBase, 0, area.length});
    bool open = false;
    for (std::size_t i = 0; i < area.blocks.size(); ++i) {
      if (!NotConfirmed(area.blocks[i].fate)) {
        open = false;
        continue;
      }
      if (!open) gaps.push_back(Gap{area.shownBase + static_cast<DWORD>(i) * kImageBlockDataSize, 0, 0});
      ++gaps.back().blocks;
      open = true;
    }
  }
  return gaps;
}

CString RunAccount::Summary() const {
  const int erases = UnconfirmedErases();
  const int blocks = UnconfirmedBlocks();
  if (erases == 0 && blocks == 0) {
    if (m_uncertain == 0) return CString();
    CString text;
    text.Format(
        "%d of the handset's confirmations may answer a request it was sent before, again after silence: "
        "download it again.",
        m_uncertain);
    return text;
  }
  CString what;
  if (erases == 1) {
    what = "the erase";
  } else if (erases > 1) {
    what.Format("%d erases", erases);
  }
  if (blocks > 0) {
    DWORD first = 0;
    for (const Gap& gap : Gaps()) {
      if (gap.blocks > 0) {
        first = gap.firstAddress;
        break;
      }
    }
    CString counted;
    counted.Format("%d of %d blocks (the first at 0x%lx)", blocks, BlockCount(), static_cast<unsigned long>(first));
    what = what.IsEmpty() ? counted : what + " and " + counted;
  }
  return "The handset did not confirm " + what + ": download it again.";
}
