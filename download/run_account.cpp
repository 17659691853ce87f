#include "download/run_account.h"

#include "image/image_block.h"

void RunAccount::Clear() {
  m_areas.clear();
  m_outstanding = kNone;
}

void RunAccount::BeginArea(DWORD shownBase, DWORD length, int blockCount) {
  MovedOn();
  Area area;
  area.shownBase = shownBase;
  area.length = length;
  area.blocks.assign(static_cast<std::size_t>(blockCount > 0 ? blockCount : 0), Fate::NotSent);
  m_areas.push_back(std::move(area));
}

void RunAccount::SentErase() {
  if (m_areas.empty()) return;
  MovedOn();
  m_areas.back().erase = Fate::Awaiting;
  m_outstanding = -1;
}

void RunAccount::SentBlock(int index) {
  if (m_areas.empty() || index < 0) return;
  MovedOn();
  // An area shorter than a block still sends block 0.
  std::vector<Fate>& blocks = m_areas.back().blocks;
  if (static_cast<std::size_t>(index) >= blocks.size())
    blocks.resize(static_cast<std::size_t>(index) + 1, Fate::NotSent);
  blocks[static_cast<std::size_t>(index)] = Fate::Awaiting;
  m_outstanding = index;
}

void RunAccount::Acknowledged() {
  if (Fate* fate = Outstanding()) *fate = Fate::Confirmed;
  m_outstanding = kNone;
}

void RunAccount::MovedOn() {
  if (Fate* fate = Outstanding()) *fate = Fate::Unconfirmed;
  m_outstanding = kNone;
}

RunAccount::Fate* RunAccount::Outstanding() {
  if (m_outstanding == kNone || m_areas.empty()) return nullptr;
  Area& area = m_areas.back();
  return m_outstanding < 0 ? &area.erase : &area.blocks[static_cast<std::size_t>(m_outstanding)];
}

bool RunAccount::AllConfirmed() const {
  for (const Area& area : m_areas) {
    if (area.erase != Fate::Confirmed) return false;
    for (const Fate fate : area.blocks) {
      if (fate != Fate::Confirmed) return false;
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
    for (const Fate fate : area.blocks) count += NotConfirmed(fate) ? 1 : 0;
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
      if (!NotConfirmed(area.blocks[i])) {
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
  if (erases == 0 && blocks == 0) return CString();
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
