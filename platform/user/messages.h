// The user-interface thread's message queue and its timers.
//
// Any thread may post; posting never waits for the user-interface thread. The thread that
// pumps the queue dispatches each message to the window its handle names: to the CWnd object
// attached to it, else to the real window's own procedure. A message for a window that is
// gone by then is dropped. Timers are due on the platform clock and come as WM_TIMER after
// the posted messages.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/kernel/geometry.h"
#include "platform/kernel/types.h"

class CWnd;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;  // the pointer, in screen coordinates
};

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// Whether the handle names a window that still exists.
BOOL IsWindow(HWND window);
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Filters as PeekMessage's on Windows: a null window takes every window's messages, and a range of 0, 0 every message.
BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
LRESULT DispatchMessage(const MSG* msg);

namespace platform {

void SetWindowTimer(HWND window, UINT_PTR id, UINT elapseMs);
bool KillWindowTimer(HWND window, UINT_PTR id);
void KillAllTimersOf(HWND window);
// When the next timer is due, on the platform clock.
std::optional<std::uint64_t> NextTimerDue();

// Dispatches every message posted so far, then the timers that are due; answers how many.
int PumpPostedMessages();
// Waits in real time, at most timeoutMs, until the queue holds a message.
bool WaitForPostedMessage(DWORD timeoutMs);
// The message loop of a program without windows on a screen: dispatches what is posted and the
// timers as they come due, waiting for them in between, until `done` answers true.
void RunMessageLoopUntil(const std::function<bool()>& done);
// Called, from whatever thread, whenever a message is posted or a timer is set or killed;
// the toolkit uses it to wake its event loop.
void SetQueueWakeHook(std::function<void()> hook);

}  // namespace platform
