// The frame on the wire, the same in both directions: the packet with 0x7D, 0x7E and 0x7F
// escaped as 0x7D, (byte XOR 0x20); the FCS low byte then high byte, escaped the same way;
// a closing flag 0x7E; and, for six frame lengths only, one pad byte 0x00. No opening flag
// is sent, and a receiver drops every flag it sees.
#pragma once

#include <cstddef>

#include "platform/kernel/types.h"

namespace wire {

constexpr BYTE kFlag = 0x7E;
constexpr BYTE kEscape = 0x7D;
constexpr BYTE kEscapeXor = 0x20;

// The largest packet the host sends: a write request of 8199 bytes.
constexpr std::size_t kMaxRequestLength = 8199;

constexpr bool NeedsEscape(BYTE b) { return b >= 0x7D && b <= 0x7F; }

// Room for the worst case: every packet and FCS byte escaped, the flag and the pad.
constexpr std::size_t MaxFrameLength(std::size_t packetLength) { return 2 * packetLength + 6; }

// The frame lengths, closing flag included, that the handset expects to be followed by a pad byte.
constexpr bool NeedsPad(std::size_t frameLength) {
  return frameLength >= 0x2040 && frameLength <= 0x2040 + 5 * 0x80 && (frameLength - 0x2040) % 0x80 == 0;
}

// Frames `count` packet bytes into `frame`, which holds MaxFrameLength(count) bytes.
// Answers the length of the frame, pad included.
std::size_t EncodeFrame(const BYTE* packet, std::size_t count, BYTE* frame);

// Unescapes `count` received bytes (flags already removed) in place and checks their FCS.
// Answers the payload length, or 0 for a bad frame, an empty payload included. A trailing
// escape byte takes a zero as the byte after it. Frames longer than 512 bytes are bad.
WORD DecodeFrame(BYTE* buffer, WORD count);

}  // namespace wire
