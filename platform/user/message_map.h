// Message maps: per class, a table of (message, notification, control id) -> member handler,
// chained to the base class's table. A window looks up each message in its own class's table
// first; what no table takes goes to the window's default procedure.
#pragma once

#include <functional>

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
  std::function<LRESULT(CWnd*, WPARAM, LPARAM)> handler;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

namespace platform::message_map {

using Handler = std::function<LRESULT(CWnd*, WPARAM, LPARAM)>;

template <class T>
Handler Command(void (T::*fn)()) {
  return [fn](CWnd* w, WPARAM, LPARAM) -> LRESULT {
    (static_cast<T*>(w)->*fn)();
    return 0;
  };
}

template <class T>
Handler Message(LRESULT (T::*fn)(WPARAM, LPARAM)) {
  return [fn](CWnd* w, WPARAM wParam, LPARAM lParam) { return (static_cast<T*>(w)->*fn)(wParam, lParam); };
}

template <class T>
Handler Timer(void (T::*fn)(UINT_PTR)) {
  return [fn](CWnd* w, WPARAM wParam, LPARAM) -> LRESULT {
    (static_cast<T*>(w)->*fn)(static_cast<UINT_PTR>(wParam));
    return 0;
  };
}

template <class T>
Handler SysCommand(void (T::*fn)(UINT, LPARAM)) {
  return [fn](CWnd* w, WPARAM wParam, LPARAM lParam) -> LRESULT {
    (static_cast<T*>(w)->*fn)(static_cast<UINT>(wParam), lParam);
    return 0;
  };
}

template <class T>
Handler Mouse(void (T::*fn)(UINT, CPoint)) {
  return [fn](CWnd* w, WPARAM wParam, LPARAM lParam) -> LRESULT {
    (static_cast<T*>(w)->*fn)(static_cast<UINT>(wParam), CPoint(lParam));
    return 0;
  };
}

// The window the pointer was over, and where on the screen.
template <class T>
Handler ContextMenu(void (T::*fn)(CWnd*, CPoint)) {
  return [fn](CWnd* w, WPARAM wParam, LPARAM lParam) -> LRESULT {
    (static_cast<T*>(w)->*fn)(T::FromHandle(reinterpret_cast<HWND>(wParam)), CPoint(lParam));
    return 0;
  };
}

template <class T>
Handler Create(int (T::*fn)(CREATESTRUCT*)) {
  return [fn](CWnd* w, WPARAM, LPARAM lParam) -> LRESULT {
    return (static_cast<T*>(w)->*fn)(reinterpret_cast<CREATESTRUCT*>(lParam));
  };
}

template <class T>
Handler EraseBackground(BOOL (T::*fn)(CDC*)) {
  return [fn](CWnd* w, WPARAM wParam, LPARAM) -> LRESULT {
    return (static_cast<T*>(w)->*fn)(CDC::FromHandle(reinterpret_cast<HDC>(wParam)));
  };
}

template <class T>
Handler QueryDragIcon(HCURSOR (T::*fn)()) {
  return [fn](CWnd* w, WPARAM, LPARAM) { return reinterpret_cast<LRESULT>((static_cast<T*>(w)->*fn)()); };
}

}  // namespace platform::message_map

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

#define ON_MESSAGE(message, memberFxn) {message, 0, 0, platform::message_map::Message(&ThisClass::memberFxn)},
#define ON_BN_CLICKED(id, memberFxn) \
  {WM_COMMAND, BN_CLICKED, id, platform::message_map::Command(&ThisClass::memberFxn)},
#define ON_CBN_SELCHANGE(id, memberFxn) \
  {WM_COMMAND, CBN_SELCHANGE, id, platform::message_map::Command(&ThisClass::memberFxn)},
#define ON_EN_CHANGE(id, memberFxn) {WM_COMMAND, EN_CHANGE, id, platform::message_map::Command(&ThisClass::memberFxn)},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, platform::message_map::Timer(&ThisClass::OnTimer)},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, platform::message_map::SysCommand(&ThisClass::OnSysCommand)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, platform::message_map::Command(&ThisClass::OnPaint)},
#define ON_WM_CREATE() {WM_CREATE, 0, 0, platform::message_map::Create(&ThisClass::OnCreate)},
#define ON_WM_ERASEBKGND() {WM_ERASEBKGND, 0, 0, platform::message_map::EraseBackground(&ThisClass::OnEraseBkgnd)},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, platform::message_map::Command(&ThisClass::OnClose)},
#define ON_WM_CONTEXTMENU() {WM_CONTEXTMENU, 0, 0, platform::message_map::ContextMenu(&ThisClass::OnContextMenu)},
#define ON_WM_LBUTTONDOWN() {WM_LBUTTONDOWN, 0, 0, platform::message_map::Mouse(&ThisClass::OnLButtonDown)},
#define ON_WM_QUERYDRAGICON() \
  {WM_QUERYDRAGICON, 0, 0, platform::message_map::QueryDragIcon(&ThisClass::OnQueryDragIcon)},
