#include "tools/handset-sim/protocol.h"

namespace handset_sim {

std::size_t RequestLength(Byte code) {
  switch (code) {
    case kCmdHello:
    case kCmdCopyModule:
    case kCmdReset: return 1;
    case kCmdSetBaud: return kSetBaudPacketLength;
    case kCmdErase: return kErasePacketLength;
    case kCmdWrite: return kWritePacketLength;
    default: return 0;
  }
}

const char* ResponseName(Byte code) {
  switch (code) {
    case kAck: return "ACK";
    case kNakBadCrc: return "NAK_BAD_CRC";
    case kNakTooLarge: return "NAK_TOO_LARGE";
    case kNakInvalidCmd: return "NAK_INVALID_CMD";
    case kNakFailed: return "NAK_FAILED";
    default: return "unknown";
  }
}

}  // namespace handset_sim
