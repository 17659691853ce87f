// Splits what the host sends into requests. Frames end at every 0x7E; flags with nothing
// before them (an opening flag) and a lone pad byte 0x00 between frames are dropped.
//
// While a raw block may come instead of a framed write (the host has switched to bare block
// data after a time-out), the bytes are judged by content, not by time:
//  - a well-formed short request (hello, reset, erase, ...) that ends in a flag is a frame;
//  - once the raw block's length has arrived, the bytes are a framed write when they begin
//    like a write request for the expected block offset, and the raw block otherwise.
// A framed write is never shorter than 8202 bytes on the line, and a raw block is never longer
// than 8192, so a write can not be complete before the decision is taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "tools/handset-sim/frame_codec.h"

namespace handset_sim {

struct Inbound {
  enum class Kind {
    Frame,      // a frame whose FCS matched; `bytes` is its packet
    BadFrame,   // a frame whose FCS or escapes were wrong
    TooLong,    // more bytes than any request has, before a flag
    Raw,        // a raw block; `bytes` is its data
    AtCommand,  // the mode-switch command
  };
  Kind kind;
  Bytes bytes;
};

class InboundParser {
 public:
  // Frames only (and the AT command).
  void ExpectFrames();
  // A raw block of `rawLength` bytes may come instead of a write request for `blockOffset`.
  void ExpectRawOrFrame(std::size_t rawLength, std::uint32_t blockOffset);
  // Forgets a partly received request, as a fresh line does.
  void Reset();

  // Takes one byte; answers the request that it completes.
  std::optional<Inbound> Push(Byte byte);

  // The longest frame a request can make: a write request with every byte escaped.
  static constexpr std::size_t kMaxFrameWire = 2 * (kWritePacketLength + 2);

 private:
  bool RawPossible() const { return m_rawLength > 0 && !m_framedWrite; }
  std::optional<Inbound> PushFramed(Byte byte);
  std::optional<Inbound> PushRawOrFrame(Byte byte);
  bool BeginsLikeWriteRequest() const;
  void ClearRequest();
  Inbound Finish(Inbound::Kind kind, Bytes bytes);
  bool IsAtCommand() const;

  Bytes m_wire;                  // the bytes of the request being received
  std::size_t m_wireLength = 0;  // counted on even when m_wire is full
  bool m_padOwed = false;        // the last frame had a length that the host pads
  std::size_t m_rawLength = 0;   // 0: no raw block may come
  std::uint32_t m_blockOffset = 0;
  bool m_framedWrite = false;  // this request began like a write request, so it is not raw
  bool m_sawFlag = false;      // a flag inside raw data: the bytes can no longer be a frame
};

}  // namespace handset_sim
