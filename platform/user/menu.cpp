#include "platform/user/menu.h"

#include "platform/user/handler_slot.h"
#include "platform/user/ui_system.h"
#include "platform/user/window_backend.h"
#include "platform/user/wnd.h"

namespace platform {
namespace {

HandlerSlot<PopupMenuHandler> g_popupMenuHandlers;

}  // namespace

PopupMenuHandler SetPopupMenuHandler(PopupMenuHandler handler) { return g_popupMenuHandlers.Set(std::move(handler)); }

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

BOOL CMenu::TrackPopupMenu(UINT /*flags*/, int x, int y, CWnd* owner) {
  if (!m_data) return FALSE;
  if (const platform::PopupMenuHandler handler = platform::g_popupMenuHandlers.Get()) {
    return static_cast<BOOL>(handler(*m_data));
  }
  platform::UiSystem* system = platform::TheUiSystem();
  return system
             ? static_cast<BOOL>(system->TrackPopupMenu(*m_data, POINT{x, y}, owner ? owner->GetSafeHwnd() : nullptr))
             : FALSE;
}
