#include "platform/user/resources.h"

#include <map>
#include <string>

namespace platform {
namespace {

// Filled at start-up, before the first window, and read by the user-interface thread.
std::map<UINT, const DialogTemplate*> g_dialogs;
std::map<UINT, const IconResource*> g_icons;
std::map<UINT, std::string> g_strings;

}  // namespace

void RegisterDialogTemplate(const DialogTemplate* dialog) { g_dialogs[dialog->id] = dialog; }

const DialogTemplate* FindDialogTemplate(UINT id) {
  const auto found = g_dialogs.find(id);
  return found == g_dialogs.end() ? nullptr : found->second;
}

void RegisterIcon(const IconResource* icon) { g_icons[icon->id] = icon; }

void RegisterString(UINT id, const char* text) { g_strings[id] = text; }

// An icon handle is the address of its resource.
const IconResource* IconFromHandle(HICON icon) { return reinterpret_cast<const IconResource*>(icon); }

}  // namespace platform

HICON AfxLoadIcon(UINT id) {
  const auto found = platform::g_icons.find(id);
  return found == platform::g_icons.end() ? nullptr
                                          : reinterpret_cast<HICON>(const_cast<platform::IconResource*>(found->second));
}

BOOL LoadResourceString(CString& text, UINT id) {
  const auto found = platform::g_strings.find(id);
  text = found == platform::g_strings.end() ? CString() : CString(found->second);
  return found == platform::g_strings.end() ? FALSE : TRUE;
}
