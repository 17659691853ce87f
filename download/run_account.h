// What the handset confirmed of a run: the erase of each area and each of its blocks.
//
// A request counts as confirmed when the handset's ACK to it arrives. One request is
// outstanding at a time, so when the run sends the next erase or block, or ends the area,
// without that ACK (after silence, or after a reconnection) the one outstanding stays
// unconfirmed for good, even if its data reached the flash: the handset never said so.
//
// An answer names no request. So once a request was sent again after silence, or moved on from
// without an answer, an answer to that earlier send may still come and be taken for a later
// request's: from then on an ACK confirms nothing for certain, and the run cannot be called
// confirmed whole, however its blocks look.
//
// It also keeps how each block went (its tries, whether it went bare, the round trip of the ACK
// that confirmed it), the round trips of the erases and hellos, and every NAK, silence and
// reconnection with its time, for the run's report. Round trips run from the request's last
// byte written to the answer taken up by the run.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/kernel/text.h"
#include "platform/kernel/types.h"

class RunAccount {
 public:
  enum class Fate : std::uint8_t { NotSent, Awaiting, Confirmed, Unconfirmed };

  // Twelve bytes a block: a 64 MiB image's 8192 blocks take 96 KiB.
  struct Block {
    std::uint32_t sentMs = 0;       // the last time it was sent, since the run began
    std::uint32_t roundTripUs = 0;  // of the ACK that confirmed it
    Fate fate = Fate::NotSent;
    std::uint8_t tries = 0;  // sendings, the first included
    bool raw = false;        // went out as bare data, unframed
  };

  struct Area {
    DWORD shownBase = 0;  // the address the operator is shown for the area's first byte
    DWORD length = 0;
    Fate erase = Fate::NotSent;
    std::uint32_t eraseRoundTripUs = 0;
    std::vector<std::uint32_t> helloRoundTripsUs;  // of each hello the handset answered
    std::vector<Block> blocks;
  };

  // Whom a mishap befell: a block of its area by index, or one of these.
  static constexpr int kErase = -1;
  static constexpr int kHello = -2;
  static constexpr int kOtherRequest = -3;  // the copy, baud and reset requests
  static constexpr int kNoRequest = -4;     // none awaited its answer

  // What went wrong on the line, when, and for which request.
  struct Mishap {
    enum class Kind : std::uint8_t { Nak, Silence, Reconnection };
    std::uint64_t atUs = 0;  // since the run began
    Kind kind = Kind::Nak;
    BYTE code = 0;  // the NAK's response code
    int area = -1;  // -1: before the first area
    int request = kNoRequest;
  };

  // Unconfirmed blocks next to each other, by the address the operator is shown.
  struct Gap {
    DWORD firstAddress = 0;
    int blocks = 0;  // 0: the erase of an area of `eraseLength` bytes
    DWORD eraseLength = 0;
  };

  // A new run begins now.
  void Clear();
  void BeginArea(DWORD shownBase, DWORD length, int blockCount);
  // Each is told once the request has been written.
  void SentHello();
  void SentOtherRequest();
  void SentErase();
  void SentBlock(int index, bool raw);
  void Resent();
  // The handset's ACK: the request outstanding, if it is an erase or a block, is confirmed.
  void Acknowledged();
  void Refused(BYTE nakCode);
  void NoAnswer();
  void Reconnected();
  // The run goes on without an answer to the request outstanding.
  void MovedOn();

  const std::vector<Area>& Areas() const { return m_areas; }
  const std::vector<Mishap>& Mishaps() const { return m_mishaps; }

  // Every erase and block of every area confirmed, each beyond doubt.
  bool AllConfirmed() const;
  int BlockCount() const;
  // Sent and not confirmed (yet): moved on from, or still awaiting an answer.
  int UnconfirmedBlocks() const;
  int UnconfirmedErases() const;
  std::vector<Gap> Gaps() const;
  // One sentence for the operator when anything went unconfirmed; empty otherwise.
  CString Summary() const;

 private:
  // Sent and not confirmed (yet): moved on from, or still awaiting its answer.
  static bool NotConfirmed(Fate fate) { return fate == Fate::Awaiting || fate == Fate::Unconfirmed; }
  void Send(int request);
  void Note(Mishap::Kind kind, BYTE code);
  void Answered();
  Fate* OutstandingFate();
  std::uint64_t SinceStartUs() const;

  std::vector<Area> m_areas;
  std::vector<Mishap> m_mishaps;
  std::uint64_t m_startUs = 0;
  // The request of the last area that awaits its answer, and when it was last written.
  int m_outstanding = kNoRequest;
  std::uint64_t m_sentUs = 0;
  int m_sendsSinceAnswer = 0;  // writes of the request outstanding since the last answer
  int m_possibleStrays = 0;    // earlier writes whose answers may still come
  int m_uncertain = 0;         // erases and blocks confirmed while one might come
};
