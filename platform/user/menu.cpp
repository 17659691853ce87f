#include "platform/user/menu.h"

#include <mutex>

#include "platform/user/ui_system.h"
#include "platform/user/window_backend.h"
#include "platform/user/window_messages.h"
#include "platform/user/wnd.h"

namespace platform {
namespace {

struct MenuState {
  std::mutex mutex;
  PopupMenuHandler handler;
};

MenuState& TheMenuState() {
  static MenuState* const state = new MenuState;
  return *state;
}

PopupMenuHandler CurrentPopupMenuHandler() {
  MenuState& state = TheMenuState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.handler;
}

}  // namespace

PopupMenuHandler SetPopupMenuHandler(PopupMenuHandler handler) {
  MenuState& state = TheMenuState();
  std::lock_guard<std::mutex> lock(state.mutex);
  PopupMenuHandler previous = std::move(state.handler);
  state.handler = std::move(handler);
  return previous;
}

}  // namespace platform

CMenu::CMenu(platform::MenuData* data) : m_data(data) {}

CMenu::~CMenu() = default;

BOOL CMenu::CreatePopupMenu() {
  m_owned = std::make_unique<platform::MenuData>();
  m_data = m_owned.get();
  return TRUE;
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCSTR text) {
  if (!m_data) return FALSE;
  m_data->items.push_back(platform::MenuItem{flags, id, text ? text : ""});
  return TRUE;
}

UINT CMenu::GetMenuItemCount() const { return m_data ? static_cast<UINT>(m_data->items.size()) : 0; }

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner) {
  if (!m_data) return FALSE;
  UINT chosen = 0;
  if (const platform::PopupMenuHandler handler = platform::CurrentPopupMenuHandler()) {
    chosen = handler(*m_data);
  } else if (platform::UiSystem* system = platform::TheUiSystem()) {
    chosen = system->TrackPopupMenu(*m_data, POINT{x, y}, owner ? owner->GetSafeHwnd() : nullptr);
  }
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(chosen);
  if (chosen && owner) owner->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(chosen), 0), 0);
  return chosen != 0;
}
