// Message boxes. Every box goes through one replaceable handler: the window layer installs
// the real modal box, and tests install their own to see the text and choose the answer.
#pragma once

#include <functional>

#include "platform/kernel/text.h"
#include "platform/kernel/types.h"
#include "platform/user/window_messages.h"

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;

// The application's name: the caption of its message boxes.
const char* AfxGetAppName();
// A box with the application's name as caption. Without an icon of its own, an OK or
// OK/Cancel box gets the exclamation icon and a yes/no box the question icon.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);

namespace platform {

struct MessageBoxRequest {
  HWND owner;
  CString text;
  CString caption;
  UINT type;
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Installs `handler` and answers the one it replaces. An empty handler restores the console
// one, which prints the box to standard error and answers its first button.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
// Names the application; until then the name is the executable's.
void SetAppName(const char* name);

}  // namespace platform
