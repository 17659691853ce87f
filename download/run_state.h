// What one download run keeps between the messages that move it: its step, the byte range
// being sent, its timers and the colours of its log lines.
#pragma once

#include <atomic>
#include <cstdint>

#include "image/image_block.h"
#include "platform/kernel/types.h"

// What AdvanceRun does next. A run always begins at STEP_START.
enum RunStep {
  STEP_START = 2,        // banner, progress reset, hello
  STEP_COPY = 3,         // copy the download module
  STEP_BAUD = 4,         // set the baud rate
  STEP_RESET = 5,        // start the download module
  STEP_HELLO = 6,        // hello to the download module
  STEP_ERASE = 7,        // erase the area
  STEP_FIRST_BLOCK = 8,  // the first block of the area
  STEP_BLOCKS = 9,       // the other blocks, then the end of the area
  STEP_DONE = 10,        // the final report
};

// The byte range of the image being sent.
struct RunPlan {
  DWORD areaBase = 0;     // file offset of the area's first byte; also the offset put into each block
  DWORD displayBase = 0;  // what the operator is shown for the font image
  DWORD areaLength = 0;
  int blockCount = 0;
  int blockIndex = 0;  // the next block to send
};

// The blocks of an area. A last partial block counts too, and goes out with its short count.
inline int BlockCount(DWORD areaLength) {
  return static_cast<int>((std::uint64_t{areaLength} + kImageBlockDataSize - 1) / kImageBlockDataSize);
}

// The images a run can send: the value of the dialog's current image.
constexpr int IMAGE_CODE = 0;
constexpr int IMAGE_FONT = 1;

// The run's timers on the main dialog; at most one runs at a time.
constexpr UINT TIMER_ANSWER = 0;       // waits for the answer to a request
constexpr UINT TIMER_RETRY = 2;        // waits for the answer to a request resent after a NAK
constexpr UINT TIMER_MODE_CHANGE = 5;  // waits for a NORMAL handset to restart in download mode

constexpr UINT kAnswerTimeoutMs = 3000;
constexpr UINT kFinalResetTimeoutMs = 10000;
constexpr UINT kRetryTimeoutMs = 5000;
constexpr UINT kModeChangeMs = 10000;

// Colours of the log: blue for the run's own lines, red for errors, black for the lines of
// the requests, and the tick that closes a finished step.
constexpr COLORREF COLOR_RUN = RGB(0, 0, 255);
constexpr COLORREF COLOR_ERROR = RGB(255, 0, 0);
constexpr COLORREF COLOR_INFO = RGB(0, 0, 0);
constexpr COLORREF COLOR_TICK = RGB(46, 82, 180);

// Set by a time-out during the blocks and by a reconnection: from then until the next run,
// blocks go out as bare data. Written and read by the user-interface thread only.
extern std::atomic<BOOL> g_bRawData;
