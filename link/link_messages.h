// Window messages the receive side posts to the run's host window, always with wParam 0 and lParam 0.
#pragma once

#include "platform/kernel/types.h"

// A response passed its check and is in the port's response buffer.
constexpr UINT WM_RESPONSE_READY = WM_USER + 0x141;
// One line was added to the log queue.
constexpr UINT WM_LOG_QUEUED = WM_USER + 0x15E;
// The receive thread is ending.
constexpr UINT WM_RX_THREAD_ENDED = WM_USER + 0x161;
