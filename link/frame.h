// The frame on the wire, the same in both directions: the packet with 0x7D, 0x7E and 0x7F
// escaped as 0x7D, (byte XOR 0x20); the FCS low byte then high byte, escaped the same way;
// a closing flag 0x7E; and, for six frame lengths only, one pad byte 0x00. No opening flag
// is sent; a receiver takes every flag as the end of a frame, and a flag with nothing before
// it as an opening flag.
#pragma once

#include <cstddef>

#include "image/image_block.h"
#include "platform/kernel/types.h"

namespace wire {

constexpr BYTE kFlag = 0x7E;
constexpr BYTE kEscape = 0x7D;
constexpr BYTE kEscapeXor = 0x20;

// The largest packet the host sends: a write request, its command, offset and count before
// one block's data. It always goes out whole, zeros past a short count, so that every write
// request has this length.
constexpr std::size_t kWriteRequestHeaderLength = 1 + sizeof(DWORD) + sizeof(WORD);
constexpr std::size_t kMaxRequestLength = kWriteRequestHeaderLength + kImageBlockDataSize;
static_assert(sizeof(ImageBlock) == kMaxRequestLength, "an ImageBlock is sent as the write request it lays out");

// The longest frame a receiver takes in, closing flag included: far more than any response.
constexpr std::size_t kMaxReceivedFrame = 512;

constexpr bool NeedsEscape(BYTE b) { return b >= 0x7D && b <= 0x7F; }

// Room for the worst case: every packet and FCS byte escaped, the flag and the pad.
constexpr std::size_t MaxFrameLength(std::size_t packetLength) { return 2 * packetLength + 6; }

// The frame lengths, closing flag included, that the handset expects to be followed by a pad byte.
// The rule is on the frame's length on the wire, escapes included, not on what the packet is.
// Only write requests are long enough to reach these lengths: each is kMaxRequestLength bytes,
// so its frame is kMaxRequestLength + 3 bytes plus one for each escaped byte, and whether it is
// padded depends on how many of its bytes needed escaping. The six lengths are the handset's and
// do not move with the block size.
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
