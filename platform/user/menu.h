// CMenu: the entries a window's system menu carries besides the window system's own, and
// popup menus a window shows where the pointer is (a control's context menu).
#pragma once

#include <functional>
#include <memory>

#include "platform/kernel/types.h"

class CWnd;

namespace platform {
struct MenuData;
}

constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_SEPARATOR = 0x0800;

constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_RETURNCMD = 0x0100;

class CMenu {
 public:
  explicit CMenu(platform::MenuData* data = nullptr);
  ~CMenu();
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  void Attach(platform::MenuData* data) { m_data = data; }
  // An empty popup menu of this object's own.
  BOOL CreatePopupMenu();
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr);
  // Shows the popup at (x, y) on the screen until the operator chooses or dismisses it, and
  // answers the chosen item's id (0 for none): the program always asks with TPM_RETURNCMD.
  BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner);

 private:
  std::unique_ptr<platform::MenuData> m_owned;
  platform::MenuData* m_data;
};

namespace platform {

// A stand-in for the operator at popup menus, for tests: called with the menu in place of
// showing it, it answers the id to choose, or 0.
using PopupMenuHandler = std::function<UINT(const MenuData& menu)>;
PopupMenuHandler SetPopupMenuHandler(PopupMenuHandler handler);

}  // namespace platform
