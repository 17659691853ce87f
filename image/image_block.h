// One block of image data on its way to the handset. The record is also the layout of the
// write request: its first byte takes the command code.
#pragma once

#include "platform/kernel/types.h"

constexpr DWORD kImageBlockDataSize = 8192;

#pragma pack(push, 1)
struct ImageBlock {
  BYTE command;  // not written by the reader
  DWORD offset;  // file offset of data[0]
  WORD count;    // valid bytes in data, 0 to 8192
  BYTE data[kImageBlockDataSize];
};
#pragma pack(pop)

static_assert(sizeof(ImageBlock) == 8199, "an image block is the 8199-byte write request");
