// What the handset confirmed of a run: the erase of each area and each of its blocks.
//
// A request counts as confirmed when the handset's ACK to it arrives. One request is
// outstanding at a time, so when the run sends the next erase or block, or ends the area,
// without that ACK (after silence, or after a reconnection) the one outstanding stays
// unconfirmed for good, even if its data reached the flash: the handset never said so.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/kernel/text.h"
#include "platform/kernel/types.h"

class RunAccount {
 public:
  // Unconfirmed blocks next to each other, by the address the operator is shown.
  struct Gap {
    DWORD firstAddress = 0;
    int blocks = 0;  // 0: the erase of an area of `eraseLength` bytes
    DWORD eraseLength = 0;
  };

  void Clear();
  void BeginArea(DWORD shownBase, DWORD length, int blockCount);
  void SentErase();
  void SentBlock(int index);
  // The handset's ACK: the request outstanding, if it is an erase or a block, is confirmed.
  void Acknowledged();
  // The run goes on without an answer to the request outstanding.
  void MovedOn();

  // Every erase and block of every area confirmed.
  bool AllConfirmed() const;
  int BlockCount() const;
  // Sent and not confirmed (yet): moved on from, or still awaiting an answer.
  int UnconfirmedBlocks() const;
  int UnconfirmedErases() const;
  std::vector<Gap> Gaps() const;
  // One sentence for the operator when anything went unconfirmed; empty otherwise.
  CString Summary() const;

 private:
  enum class Fate : std::uint8_t { NotSent, Awaiting, Confirmed, Unconfirmed };

  struct Area {
    DWORD shownBase = 0;  // the address the operator is shown for the area's first byte
    DWORD length = 0;
    Fate erase = Fate::NotSent;
    std::vector<Fate> blocks;
  };

  // Sent and not confirmed (yet): moved on from, or still awaiting its answer.
  static bool NotConfirmed(Fate fate) { return fate == Fate::Awaiting || fate == Fate::Unconfirmed; }
  Fate* Outstanding();

  std::vector<Area> m_areas;
  // The erase (-1) or block of the last area that awaits its answer; none when kNone.
  static constexpr int kNone = -2;
  int m_outstanding = kNone;
};
