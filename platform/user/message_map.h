// Message maps: per class, a table of (message, notification, control id) -> member handler,
// chained to the base class's table. A window looks up each message in its own class's table
// first; what no table takes goes to the window's default procedure.
#pragma once

#include <type_traits>

#include "platform/gdi/gdi.h"
#include "platform/kernel/geometry.h"
#include "platform/kernel/types.h"
#include "platform/user/window_messages.h"

class CWnd;
struct CREATESTRUCT;
using HICON = struct HICON__*;
using HCURSOR = HICON;

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // 0 ends the table
  UINT nCode;     // the notification code, for WM_COMMAND
  UINT nID;       // the control id, for WM_COMMAND
  LRESULT (*handler)(CWnd* window, WPARAM wParam, LPARAM lParam);
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

namespace platform {

template <class T>
LRESULT AsResult(T value) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<LRESULT>(value);
  } else {
    return static_cast<LRESULT>(value);
  }
}

}  // namespace platform

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
    using ThisClass = theClass;                                                     \
    using TheBaseClass = baseClass;                                                 \
    static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                           \
  { 0, 0, 0, nullptr }                                                              \
  }                                                                                 \
  ;                                                                                 \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &messageMap;                                                               \
  }

// An entry's handler: `call` made on the window as the class whose map holds the entry, with
// the message's parameters at hand as wParam and lParam. AFX_CALL answers 0, AFX_ANSWER what
// the call answers.
#define AFX_CALL(call)                                                                          \
  [](CWnd* window, [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam) -> LRESULT { \
    static_cast<ThisClass*>(window)->call;                                                      \
    return 0;                                                                                   \
  }
#define AFX_ANSWER(call)                                                                        \
  [](CWnd* window, [[maybe_unused]] WPARAM wParam, [[maybe_unused]] LPARAM lParam) -> LRESULT { \
    return platform::AsResult(static_cast<ThisClass*>(window)->call);                           \
  }

#define ON_MESSAGE(message, memberFxn) {message, 0, 0, AFX_ANSWER(memberFxn(wParam, lParam))},
#define ON_BN_CLICKED(id, memberFxn) {WM_COMMAND, BN_CLICKED, id, AFX_CALL(memberFxn())},
#define ON_CBN_SELCHANGE(id, memberFxn) {WM_COMMAND, CBN_SELCHANGE, id, AFX_CALL(memberFxn())},
#define ON_EN_CHANGE(id, memberFxn) {WM_COMMAND, EN_CHANGE, id, AFX_CALL(memberFxn())},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, AFX_CALL(OnTimer(static_cast<UINT_PTR>(wParam)))},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, AFX_CALL(OnSysCommand(static_cast<UINT>(wParam), lParam))},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, AFX_CALL(OnPaint())},
#define ON_WM_CREATE() {WM_CREATE, 0, 0, AFX_ANSWER(OnCreate(reinterpret_cast<CREATESTRUCT*>(lParam)))},
#define ON_WM_ERASEBKGND() \
  {WM_ERASEBKGND, 0, 0, AFX_ANSWER(OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam))))},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, AFX_CALL(OnClose())},
// The window the pointer was over, and where on the screen.
#define ON_WM_CONTEXTMENU() \
  {WM_CONTEXTMENU, 0, 0, AFX_CALL(OnContextMenu(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)), CPoint(lParam)))},
#define ON_WM_LBUTTONDOWN() {WM_LBUTTONDOWN, 0, 0, AFX_CALL(OnLButtonDown(static_cast<UINT>(wParam), CPoint(lParam)))},
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, 0, 0, AFX_ANSWER(OnQueryDragIcon())},
