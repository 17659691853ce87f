// The download protocol's requests and response codes. Multi-byte fields are little-endian.
#pragma once

#include "platform/kernel/types.h"

// Requests: the first byte of each packet.
constexpr BYTE CMD_HELLO = 0xA0;
constexpr BYTE CMD_COPY_MODULE = 0xB0;
constexpr BYTE CMD_RESET = 0xC0;
constexpr BYTE CMD_WRITE = 0xDD;
constexpr BYTE CMD_ERASE = 0xEE;
constexpr BYTE CMD_SET_BAUD = 0xF0;

// Responses: only the first byte is examined.
constexpr BYTE ACK = 0x02;
constexpr BYTE NAK_BAD_CRC = 0xA1;
constexpr BYTE NAK_TOO_LARGE = 0xA2;
constexpr BYTE NAK_INVALID_CMD = 0xA3;
constexpr BYTE NAK_FAILED = 0xA4;

// Tells a handset running its normal software to restart in download mode; sent unframed.
constexpr char kDownloadAtCommand[] = "AT$KVNUDG\r";

inline void PutLe16(BYTE* at, WORD value) {
  at[0] = static_cast<BYTE>(value);
  at[1] = static_cast<BYTE>(value >> 8);
}

inline void PutLe32(BYTE* at, DWORD value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}

inline WORD GetLe16(const BYTE* at) { return static_cast<WORD>(at[0] | at[1] << 8); }

inline DWORD GetLe32(const BYTE* at) {
  DWORD value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | at[i];
  return value;
}
