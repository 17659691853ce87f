#include "tools/handset-sim/frame_codec.h"

#include "tools/handset-sim/fcs.h"

namespace handset_sim {
namespace {

bool NeedsEscape(Byte b) { return b >= kEscape && b <= 0x7F; }

void PutEscaped(Bytes& wire, Byte b) {
  if (NeedsEscape(b)) {
    wire.push_back(kEscape);
    wire.push_back(static_cast<Byte>(b ^ 0x20));
  } else {
    wire.push_back(b);
  }
}

}  // namespace

Bytes EncodeFrame(const Bytes& packet, FrameShape shape) {
  Bytes wire;
  wire.reserve(2 * packet.size() + 6);
  if (shape.openingFlag) wire.push_back(kFlag);
  for (Byte b : packet) PutEscaped(wire, b);
  std::uint16_t fcs = Fcs16(packet.data(), packet.size());
  if (shape.corruptFcs) fcs ^= 0xFFFF;
  PutEscaped(wire, static_cast<Byte>(fcs & 0xFF));
  PutEscaped(wire, static_cast<Byte>(fcs >> 8));
  wire.push_back(kFlag);
  return wire;
}

Bytes UnescapePrefix(const Byte* wire, std::size_t count, std::size_t limit) {
  Bytes bytes;
  for (std::size_t i = 0; i < count && bytes.size() < limit; ++i) {
    if (wire[i] != kEscape) {
      bytes.push_back(wire[i]);
    } else if (i + 1 < count) {
      bytes.push_back(static_cast<Byte>(wire[++i] ^ 0x20));
    }
  }
  return bytes;
}

std::optional<Bytes> DecodeFrame(const Byte* wire, std::size_t count) {
  Bytes bytes;
  bytes.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (wire[i] != kEscape) {
      bytes.push_back(wire[i]);
      continue;
    }
    // A frame that ends on an escape byte has lost its last byte.
    if (++i == count) return std::nullopt;
    bytes.push_back(static_cast<Byte>(wire[i] ^ 0x20));
  }
  if (bytes.size() < 3) return std::nullopt;
  const std::size_t packetLength = bytes.size() - 2;
  const std::uint16_t fcs = Fcs16(bytes.data(), packetLength);
  if (bytes[packetLength] != (fcs & 0xFF) || bytes[packetLength + 1] != (fcs >> 8)) return std::nullopt;
  bytes.resize(packetLength);
  return bytes;
}

bool IsPaddedFrameLength(std::size_t wireLength) {
  return wireLength >= 0x2040 && wireLength <= 0x2040 + 5 * 0x80 && (wireLength - 0x2040) % 0x80 == 0;
}

}  // namespace handset_sim
