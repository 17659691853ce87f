#include "link/frame.h"

#include <array>
#include <cstring>

#include "link/fcs.h"

namespace wire {
namespace {

inline void PutEscaped(BYTE b, BYTE* frame, std::size_t& out) {
  if (NeedsEscape(b)) {
    frame[out++] = kEscape;
    frame[out++] = static_cast<BYTE>(b ^ kEscapeXor);
  } else {
    frame[out++] = b;
  }
}

}  // namespace

std::size_t EncodeFrame(const BYTE* packet, std::size_t count, BYTE* frame) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < count; ++i) PutEscaped(packet[i], frame, out);
  const WORD fcs = static_cast<WORD>(FcsUpdate(kFcsInit, packet, count) ^ 0xFFFF);
  PutEscaped(static_cast<BYTE>(fcs & 0xFF), frame, out);
  PutEscaped(static_cast<BYTE>(fcs >> 8), frame, out);
  frame[out++] = kFlag;
  if (NeedsPad(out)) frame[out++] = 0x00;
  return out;
}

WORD DecodeFrame(BYTE* buffer, WORD count) {
  if (count > kMaxReceivedFrame) return 0;
  // The bytes are read from a copy while the buffer is rewritten; the byte after the frame is 0.
  std::array<BYTE, kMaxReceivedFrame + 1> scratch{};
  std::memcpy(scratch.data(), buffer, count);
  std::size_t out = 0;
  for (std::size_t in = 0; in < count; ++in) {
    if (scratch[in] == kEscape) {
      ++in;
      buffer[out++] = static_cast<BYTE>(scratch[in] ^ kEscapeXor);
    } else {
      buffer[out++] = scratch[in];
    }
  }
  if (out < 2) return 0;
  const std::size_t payload = out - 2;
  const WORD fcs = ComputeFcs(buffer, payload);
  if (buffer[payload] != (fcs & 0xFF) || buffer[payload + 1] != (fcs >> 8)) return 0;
  return static_cast<WORD>(payload);
}

}  // namespace wire
