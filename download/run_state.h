// What one download run keeps between the messages that move it: its step, the byte range
// being sent, its timers, what the handset confirmed, and the colours of its log lines.
#pragma once

#include <cstdint>

#include "download/run_account.h"
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

// The images a run can send: the value of the run's current image.
constexpr int IMAGE_CODE = 0;
constexpr int IMAGE_FONT = 1;

// The run's timers on its host window; at most one runs at a time.
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

// The state of a run, on the user-interface thread only.
struct RunState {
  RunStep step = STEP_START;
  int currentImage = IMAGE_CODE;  // the image being sent
  RunPlan plan;
  bool bootFirst = false;  // the boot area is being sent; the code area follows
  ImageBlock block = {};
  const BYTE* response = nullptr;  // the response being handled
  UINT timerId = TIMER_ANSWER;     // the run timer last armed, and its interval
  UINT timerInterval = 0;
  BYTE retryCount = 0;  // time-outs in a row without an ACK
  BYTE naksInARow = 0;  // refusals in a row without an ACK
  // Set by a time-out during the blocks and by a reconnection: from then until the next run,
  // blocks go out as bare data.
  bool rawData = false;
  bool reconnecting = false;  // the old connection is being replaced after repeated silence
  DWORD startTime = 0;        // platform clock, milliseconds
  RunAccount account;         // what the handset confirmed of the run
  bool reported = false;      // the final report has been given
  bool underWay = false;      // its observers were told it started, and not yet that it ended
  bool stalled = false;       // it gave up waiting for an answer
};
