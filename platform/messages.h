// The user-interface thread's message queue.
//
// Any thread may post; posting never waits for the user-interface thread. The thread that
// pumps the queue dispatches each message to the WindowProc of the window its handle names.
// A message for a window that is gone by then is dropped.
#pragma once

#include "platform/types.h"

class CWnd;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
};

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Filters as the original: a null window takes every window's messages, and a range of 0, 0 every message.
BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
LRESULT DispatchMessage(const MSG* msg);

namespace platform {

// Window handles name live CWnd objects; a handle is never reused within a process.
HWND RegisterWindow(CWnd* window);
void UnregisterWindow(HWND window);
CWnd* WindowFromHandle(HWND window);

// Dispatches every message posted so far; answers how many were dispatched.
int PumpPostedMessages();
// Waits in real time, at most timeoutMs, until the queue holds a message.
bool WaitForPostedMessage(DWORD timeoutMs);

}  // namespace platform
