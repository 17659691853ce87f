// The table of windows, for the platform's own use: each handle names a window, with the CWnd object attached to it,
// the real window's backend, its parent and control id. Handles are never reused.
#pragma once

#include <vector>

#include "platform/kernel/types.h"

class CWnd;

namespace platform {

class WindowBackend;
struct MenuData;

// A handle for an object without a real window.
HWND RegisterWindow(CWnd* window);
// A handle for a real window, child `id` of `parent` (null for a top-level window). The
// backend belongs to the toolkit and lives until UnregisterWindow.
HWND CreateWindowHandle(WindowBackend* backend, HWND parent, int id);
// Forgets the handle and its children, their timers and wrappers.
void UnregisterWindow(HWND window);

bool AttachObject(HWND window, CWnd* object);
void DetachObject(HWND window);
CWnd* WindowFromHandle(HWND window);  // the attached object, if any
CWnd* PermanentWrapper(HWND window);  // a wrapper owned by the window, made on first use
WindowBackend* BackendOf(HWND window);
HWND ParentOf(HWND window);
int IdOf(HWND window);
HWND ChildById(HWND parent, int id);
// Every window without a parent, in the order they were made.
std::vector<HWND> TopLevelWindows();
MenuData* SystemMenuOf(HWND window);

}  // namespace platform
