// CMenu: the entries a window's system menu carries besides the window system's own.
#pragma once

#include "platform/kernel/types.h"

namespace platform {
struct MenuData;
}

constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_SEPARATOR = 0x0800;

class CMenu {
 public:
  explicit CMenu(platform::MenuData* data = nullptr) : m_data(data) {}
  void Attach(platform::MenuData* data) { m_data = data; }
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr);
  UINT GetMenuItemCount() const;

 private:
  platform::MenuData* m_data;
};
