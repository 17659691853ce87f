#include "platform/user/resources.h"

#include <map>
#include <mutex>
#include <string>

namespace platform {
namespace {

struct Tables {
  std::mutex mutex;
  std::map<UINT, const DialogTemplate*> dialogs;
  std::map<UINT, const IconResource*> icons;
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
  tables.icons[icon->id] = icon;
}

void RegisterString(UINT id, const char* text) {
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  tables.strings[id] = text;
}

// An icon handle is the address of its resource.
const IconResource* IconFromHandle(HICON icon) { return reinterpret_cast<const IconResource*>(icon); }

}  // namespace platform

HICON AfxLoadIcon(UINT id) {
  platform::Tables& tables = platform::TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  const auto found = tables.icons.find(id);
  return found == tables.icons.end() ? nullptr
                                     : reinterpret_cast<HICON>(const_cast<platform::IconResource*>(found->second));
}

BOOL LoadResourceString(CString& text, UINT id) {
  platform::Tables& tables = platform::TheTables();
  std::lock_guard<std::mutex> lock(tables.mutex);
  const auto found = tables.strings.find(id);
  text = found == tables.strings.end() ? CString() : CString(found->second);
  return found == tables.strings.end() ? FALSE : TRUE;
}
