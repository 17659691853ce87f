// The download protocol as the handset's download program sees it: codes, sizes and the
// mode-switch command.
#pragma once

#include <cstddef>
#include <cstdint>

namespace handset_sim {

using Byte = std::uint8_t;

constexpr Byte kFlag = 0x7E;
constexpr Byte kEscape = 0x7D;
constexpr Byte kPad = 0x00;

constexpr Byte kCmdHello = 0xA0;
constexpr Byte kCmdCopyModule = 0xB0;
constexpr Byte kCmdReset = 0xC0;
constexpr Byte kCmdWrite = 0xDD;
constexpr Byte kCmdErase = 0xEE;
constexpr Byte kCmdSetBaud = 0xF0;

constexpr Byte kAck = 0x02;
constexpr Byte kNakBadCrc = 0xA1;
constexpr Byte kNakTooLarge = 0xA2;
constexpr Byte kNakInvalidCmd = 0xA3;
constexpr Byte kNakFailed = 0xA4;

constexpr std::size_t kBlockSize = 8192;
// Code, offset (4), count (2), data (8192): every write request has this length.
constexpr std::size_t kWritePacketLength = 1 + 4 + 2 + kBlockSize;
constexpr std::size_t kErasePacketLength = 1 + 4 + 4;
constexpr std::size_t kSetBaudPacketLength = 2;

// A handset running its normal software restarts in download mode on these ten bytes.
constexpr char kAtCommand[] = "AT$KVNUDG\r";
constexpr std::size_t kAtCommandLength = sizeof kAtCommand - 1;

// The packet length a well-formed request with this code has; 0 for an unknown code.
std::size_t RequestLength(Byte code);
// "ACK", "NAK_BAD_CRC", ...; "unknown" for anything else.
const char* ResponseName(Byte code);

}  // namespace handset_sim
