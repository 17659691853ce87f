// CWnd: a window handle, the message map its messages go through, and the operations on the
// real window behind it.
#pragma once

#include "platform/kernel/geometry.h"
#include "platform/kernel/runtime_class.h"
#include "platform/kernel/text.h"
#include "platform/kernel/types.h"
#include "platform/user/message_map.h"
// What painting a window needs comes with the window, as it does with MFC's CWnd.
#include "platform/user/paint.h"

struct MSG;
class CMenu;
struct CREATESTRUCT;
namespace platform {
struct Region;
}
using HRGN = platform::Region*;

// The class name of a window class the program registers; the window system has one kind of
// popup, so every such class is the same.
LPCSTR AfxRegisterWndClass(UINT classStyle, void* cursor = nullptr, void* background = nullptr, void* icon = nullptr);

class CWnd : public CObject {
 public:
  CWnd() = default;
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  // The object of a window: the one attached to it, or a lasting wrapper owned by the window.
  static CWnd* FromHandle(HWND window);

  // Messages. SendMessage runs the window's procedure at once and belongs to the thread of
  // the windows; PostMessage may be called from any thread.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL PreTranslateMessage(MSG* msg);
  // The default handling of the message being handled now.
  LRESULT Default();

  // Timers: WM_TIMER with the id, every `elapseMs` until killed, on the platform clock.
  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs, void* timerProc = nullptr);
  BOOL KillTimer(UINT_PTR id);

  // The real window.
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL ShowWindow(int command);
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;
  void SetFocus();
  void SetWindowText(LPCSTR text);
  void GetWindowText(CString& text) const;
  BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
  void GetClientRect(LPRECT rect) const;
  void Invalidate(BOOL erase = TRUE);
  HICON SetIcon(HICON icon, BOOL bigIcon);
  CMenu* GetSystemMenu(BOOL revert);
  int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = 0);

  // Children of a dialog.
  CWnd* GetDlgItem(int id) const;
  // Makes this object the one that handles the messages of control `id` of `parent`.
  BOOL SubclassDlgItem(UINT id, CWnd* parent);

  // Ends the real window: its children and timers go, messages still queued for it are dropped.
  virtual BOOL DestroyWindow();

  // A window of a registered class: here only popups, which start hidden. WM_CREATE comes
  // before this returns; a handler that answers -1 leaves no window behind.
  BOOL CreateEx(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width, int height,
                HWND parent, void* menu);
  // Gives the window the shape of the region, which the window system owns from then on.
  int SetWindowRgn(HRGN region, BOOL redraw);
  // The window of this thread that has the keyboard focus; null when none has.
  static CWnd* GetFocus();
  // The window under a point of the screen, as deep as the windows go.
  static CWnd* WindowFromPoint(POINT point);

  HWND m_hWnd = nullptr;

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  // A message the parent passes back to the control it is about (WM_DRAWITEM).
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Gives this object a window handle without a real window, so messages can reach it.
  BOOL CreateHandle();

  // The default handling of these messages, for handlers that pass them on.
  void OnSysCommand(UINT id, LPARAM lParam) { (void)id, (void)lParam, Default(); }
  void OnPaint() { Default(); }
  void OnClose() { Default(); }
  void OnTimer(UINT_PTR id) { (void)id, Default(); }
  void OnLButtonDown(UINT flags, CPoint point) { (void)flags, (void)point, Default(); }
  int OnCreate(CREATESTRUCT* create) { return (void)create, static_cast<int>(Default()); }

 private:
  const AFX_MSGMAP_ENTRY* FindEntry(UINT message, UINT code, UINT id) const;
  CMenu* m_pSystemMenu = nullptr;
};
