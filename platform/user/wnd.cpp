#include "platform/user/wnd.h"

#include <memory>
#include <vector>

#include "platform/gdi/region.h"
#include "platform/user/controls.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/menu.h"
#include "platform/user/message_box.h"
#include "platform/user/messages.h"
#include "platform/user/ui_system.h"
#include "platform/user/window_backend.h"

namespace {

// The message each window procedure call is handling, innermost last, for Default().
thread_local std::vector<MSG> t_currentMessages;

struct CurrentMessage {
  CurrentMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    t_currentMessages.push_back(MSG{window, message, wParam, lParam, 0, {}});
  }
  ~CurrentMessage() { t_currentMessages.pop_back(); }
};

}  // namespace

CWnd::~CWnd() {
  delete m_pSystemMenu;
  CWnd::DestroyWindow();
}

CWnd* CWnd::FromHandle(HWND window) {
  if (CWnd* object = platform::WindowFromHandle(window)) return object;
  return platform::PermanentWrapper(window);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage current(m_hWnd, message, wParam, lParam);
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  return result;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

LRESULT CWnd::Default() {
  if (t_currentMessages.empty()) return 0;
  const MSG msg = t_currentMessages.back();
  return DefWindowProc(msg.message, msg.wParam, msg.lParam);
}

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
  static const AFX_MSGMAP messageMap = {nullptr, entries};
  return &messageMap;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CWnd::FindEntry(UINT message, UINT code, UINT id) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nMessage != 0; ++entry) {
      if (entry->nMessage != message) continue;
      if (message == WM_COMMAND && (entry->nCode != code || entry->nID != id)) continue;
      return entry;
    }
  }
  return nullptr;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    *result = 0;
    return TRUE;
  }
  const AFX_MSGMAP_ENTRY* entry = FindEntry(message, 0, 0);
  if (entry) {
    *result = entry->handler(this, wParam, lParam);
    return TRUE;
  }
  // An owner-drawn control draws itself: the request goes back to it.
  if (message == WM_DRAWITEM && lParam) {
    CWnd* control = platform::WindowFromHandle(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem);
    return control && control->OnChildNotify(message, wParam, lParam, result);
  }
  return FALSE;
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_COMMAND, HIWORD(wParam), LOWORD(wParam));
  if (!entry) return FALSE;
  entry->handler(this, wParam, lParam);
  return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (platform::WindowBackend* backend = platform::BackendOf(m_hWnd)) {
    return backend->ClassProc(message, wParam, lParam);
  }
  return 0;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs, void*) {
  if (!m_hWnd) return 0;
  platform::SetWindowTimer(m_hWnd, id, elapseMs);
  return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) { return platform::KillWindowTimer(m_hWnd, id) ? TRUE : FALSE; }

BOOL CWnd::EnableWindow(BOOL enable) {
  platform::WindowBackend* backend = platform::BackendOf(m_hWnd);
  if (!backend) return FALSE;
  const bool wasDisabled = !backend->IsEnabled();
  backend->Enable(enable != FALSE);
  return wasDisabled ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const {
  const platform::WindowBackend* backend = platform::BackendOf(m_hWnd);
  return backend && backend->IsEnabled() ? TRUE : FALSE;
}

BOOL CWnd::ShowWindow(int command) {
  platform::WindowBackend* backend = platform::BackendOf(m_hWnd);
  if (!backend) return FALSE;
  const bool wasVisible = backend->IsVisible();
  backend->Show(command);
  return wasVisible ? TRUE : FALSE;
}

BOOL CWnd::IsWindowVisible() const {
  const platform::WindowBackend* backend = platform::BackendOf(m_hWnd);
  return backend && backend->IsVisible() ? TRUE : FALSE;
}

BOOL CWnd::IsIconic() const {
  const platform::WindowBackend* backend = platform::BackendOf(m_hWnd);
  return backend && backend->IsIconic() ? TRUE : FALSE;
}

void CWnd::SetFocus() {
  if (platform::WindowBackend* backend = platform::BackendOf(m_hWnd)) backend->SetFocus();
}

void CWnd::SetWindowText(LPCSTR text) { SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")); }

void CWnd::GetWindowText(CString& text) const {
  const LRESULT length = ::SendMessage(m_hWnd, WM_GETTEXTLENGTH, 0, 0);
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT copied = ::SendMessage(m_hWnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  text = CString(buffer.data(), static_cast<int>(copied));
}

BOOL CWnd::SetWindowPos(const CWnd*, int x, int y, int cx, int cy, UINT flags) {
  platform::WindowBackend* backend = platform::BackendOf(m_hWnd);
  if (!backend) return FALSE;
  backend->SetWindowPos(x, y, cx, cy, flags);
  return TRUE;
}

void CWnd::GetClientRect(LPRECT rect) const {
  const platform::WindowBackend* backend = platform::BackendOf(m_hWnd);
  *rect = backend ? backend->ClientRect() : CRect();
}

void CWnd::Invalidate(BOOL) {
  if (platform::WindowBackend* backend = platform::BackendOf(m_hWnd)) backend->Invalidate();
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
  return reinterpret_cast<HICON>(
      SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

CMenu* CWnd::GetSystemMenu(BOOL) {
  platform::MenuData* data = platform::SystemMenuOf(m_hWnd);
  if (!data) return nullptr;
  if (!m_pSystemMenu) m_pSystemMenu = new CMenu;
  // The menu belongs to the window of the moment: a window made again has a new one.
  m_pSystemMenu->Attach(data);
  return m_pSystemMenu;
}

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
  return ::MessageBox(m_hWnd, text, caption ? caption : AfxGetAppName(), type);
}

CWnd* CWnd::GetDlgItem(int id) const {
  const HWND child = platform::ChildById(m_hWnd, id);
  return child ? FromHandle(child) : nullptr;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  const HWND child = platform::ChildById(parent->m_hWnd, static_cast<int>(id));
  return child && platform::AttachObject(child, this) ? TRUE : FALSE;
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  const HWND window = m_hWnd;
  platform::UiSystem* system = platform::TheUiSystem();
  if (platform::BackendOf(window) && !platform::ParentOf(window) && system) {
    // A top-level window of its own, a popup: the window system ends it.
    system->DestroyWindow(window);
    m_hWnd = nullptr;
    return TRUE;
  }
  if (platform::BackendOf(window) && platform::ParentOf(window)) {
    // A control belongs to its dialog, which ends it; the object only lets go.
    platform::DetachObject(window);
    return TRUE;
  }
  platform::UnregisterWindow(window);
  m_hWnd = nullptr;
  return TRUE;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCSTR /*className*/, LPCSTR /*title*/, DWORD style, int x, int y, int width,
                    int height, HWND parent, void* /*menu*/) {
  platform::UiSystem* system = platform::TheUiSystem();
  if (m_hWnd || !system || !(style & WS_POPUP)) return FALSE;
  if (!system->CreatePopupWindow(CRect(x, y, x + width, y + height), parent, this)) return FALSE;
  CREATESTRUCT create{parent, height, width, y, x, static_cast<LONG>(style), exStyle};
  if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow();
    return FALSE;
  }
  return TRUE;
}

int CWnd::SetWindowRgn(HRGN region, BOOL redraw) {
  std::unique_ptr<platform::Region> owned(region);
  platform::WindowBackend* backend = platform::BackendOf(m_hWnd);
  if (!backend) return 0;
  backend->SetShape(std::move(owned));
  if (redraw) backend->Invalidate();
  return 1;
}

CWnd* CWnd::GetFocus() {
  const platform::UiSystem* system = platform::TheUiSystem();
  const HWND window = system ? system->FocusWindow() : nullptr;
  return window ? FromHandle(window) : nullptr;
}

CWnd* CWnd::WindowFromPoint(POINT point) {
  const platform::UiSystem* system = platform::TheUiSystem();
  const HWND window = system ? system->WindowAtPoint(point) : nullptr;
  return window ? FromHandle(window) : nullptr;
}

LPCSTR AfxRegisterWndClass(UINT, void*, void*, void*) { return "AfxPopup"; }

BOOL CWnd::CreateHandle() {
  if (m_hWnd) return FALSE;
  m_hWnd = platform::RegisterWindow(this);
  return TRUE;
}
