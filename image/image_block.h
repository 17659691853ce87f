// One block of image data on its way to the handset. The record is also the layout of the
// write request: its first byte takes the command code.
#pragma once

#include "platform/kernel/types.h"

// The data of one block: the unit the image is read and written in, and the data area of a
// write request.
constexpr DWORD kImageBlockDataSize = 8192;

#pragma pack(push, 1)
struct ImageBlock {
  BYTE command;  // not written by the reader
  DWORD offset;  // file offset of data[0]
  WORD count;    // valid bytes in data, 0 to kImageBlockDataSize
  BYTE data[kImageBlockDataSize];
};
#pragma pack(pop)
