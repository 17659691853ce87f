// Frames as they travel on the line, in both directions: the packet and its FCS (low byte
// first), each byte 0x7D, 0x7E or 0x7F escaped as 0x7D, byte ^ 0x20, then a closing flag.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "tools/handset-sim/protocol.h"

namespace handset_sim {

using Bytes = std::vector<Byte>;

struct FrameShape {
  bool openingFlag = false;  // a flag before the frame as well, which receivers must ignore
  bool corruptFcs = false;   // an FCS that does not match the packet
};

Bytes EncodeFrame(const Bytes& packet, FrameShape shape = {});

// The packet carried by `wire`, a frame without its closing flag; nothing when the escapes
// are broken, the frame is too short to hold a packet and its FCS, or the FCS does not match.
std::optional<Bytes> DecodeFrame(const Byte* wire, std::size_t count);

// Unescapes at most `limit` packet bytes from the start of `wire` (FCS not checked).
Bytes UnescapePrefix(const Byte* wire, std::size_t count, std::size_t limit);

// The sender adds one pad byte 0x00 after frames of these lengths (closing flag included).
bool IsPaddedFrameLength(std::size_t wireLength);

}  // namespace handset_sim
