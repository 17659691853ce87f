#include "platform/user/resources.h"

#include <map>
#include <mutex>
#include <set>
#include <string>

namespace platform {
namespace {

// What an HICON points at: a resource, and the size it was loaded at (0 by 0: its own sizes).
struct Icon {
  const IconResource* resource;
  SIZE size;
};

struct Tables {
  std::mutex mutex;
  std::map<UINT, const DialogTemplate*> dialogs;
  std::map<UINT, Icon> icons;
  std::set<const Icon*> sizedIcons;
  std::map<UINT, std::string> strings;
};

Tables& TheTables() {
  static Tables* const tables = new Tables;
  return *tables;
}

}  // namespace

void RegisterDialogTemplate(const DialogTemplate* dialog) {
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  tables.dialogs[dialog->id] = dialog;
}

const DialogTemplate* FindDialogTemplate(UINT id) {
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  const auto found = tables.dialogs.find(id);
  return found == tables.dialogs.end() ? nullptr : found->second;
}

void RegisterIcon(const IconResource* icon) {
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  tables.icons[icon->id] = Icon{icon, SIZE{0, 0}};
}

void RegisterString(UINT id, const char* text) {
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  tables.strings[id] = text;
}

const IconResource* IconFromHandle(HICON icon) {
  return icon ? reinterpret_cast<const Icon*>(icon)->resource : nullptr;
}

SIZE IconSizeOf(HICON icon) { return icon ? reinterpret_cast<const Icon*>(icon)->size : SIZE{0, 0}; }

HICON LoadSizedIcon(UINT id, int width, int height) {
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  const auto found = tables.icons.find(id);
  if (found == tables.icons.end()) return nullptr;
  const Icon* icon = new Icon{found->second.resource, SIZE{width, height}};
  tables.sizedIcons.insert(icon);
  return reinterpret_cast<HICON>(const_cast<Icon*>(icon));
}

bool FreeSizedIcon(HICON handle) {
  const auto* icon = reinterpret_cast<const Icon*>(handle);
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  if (!tables.sizedIcons.erase(icon)) return false;
  delete icon;
  return true;
}

}  // namespace platform

HICON AfxLoadIcon(UINT id) {
  platform::Tables& tables = platform::TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  const auto found = tables.icons.find(id);
  return found == tables.icons.end() ? nullptr : reinterpret_cast<HICON>(&found->second);
}

BOOL LoadResourceString(CString& text, UINT id) {
  platform::Tables& tables = platform::TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  const auto found = tables.strings.find(id);
  text = found == tables.strings.end() ? CString() : CString(found->second);
  return found == tables.strings.end() ? FALSE : TRUE;
}
