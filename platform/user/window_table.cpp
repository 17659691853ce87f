#include "platform/user/internal/window_table.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/user/messages.h"
#include "platform/user/window_backend.h"
#include "platform/user/wnd.h"

namespace platform {
namespace {

struct WindowEntry {
  CWnd* object = nullptr;
  WindowBackend* backend = nullptr;
  std::uintptr_t parent = 0;
  int id = 0;
  std::unique_ptr<CWnd> wrapper;
  std::unique_ptr<MenuData> systemMenu;
};

struct Table {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, WindowEntry> windows;
  std::uintptr_t nextWindow = 0x10000;
};

Table& TheTable() {
  // Never destroyed: worker threads that outlive main() may still post to a window.
  static Table* const table = new Table;
  return *table;
}

std::uintptr_t Key(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }
HWND Handle(std::uintptr_t key) { return reinterpret_cast<HWND>(key); }

// Runs `use` on the window's entry (null when there is none) under the table's lock, and
// answers what it answers.
template <class Use>
auto WithEntry(HWND window, Use use) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto found = table.windows.find(Key(window));
  return use(found == table.windows.end() ? nullptr : &found->second);
}

HWND Insert(CWnd* object, WindowBackend* backend, HWND parent, int id) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  const std::uintptr_t value = table.nextWindow;
  table.nextWindow += 2;
  WindowEntry& entry = table.windows[value];
  entry.object = object;
  entry.backend = backend;
  entry.parent = Key(parent);
  entry.id = id;
  return Handle(value);
}

}  // namespace

HWND RegisterWindow(CWnd* window) { return Insert(window, nullptr, nullptr, 0); }

HWND CreateWindowHandle(WindowBackend* backend, HWND parent, int id) { return Insert(nullptr, backend, parent, id); }

void UnregisterWindow(HWND window) {
  std::vector<std::unique_ptr<CWnd>> wrappers;
  std::vector<std::uintptr_t> doomed = {Key(window)};
  Table& table = TheTable();
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    for (std::size_t i = 0; i < doomed.size(); ++i) {
      for (const auto& [key, entry] : table.windows) {
        if (entry.parent == doomed[i]) doomed.push_back(key);
      }
    }
    for (std::uintptr_t key : doomed) {
      const auto found = table.windows.find(key);
      if (found == table.windows.end()) continue;
      if (found->second.object) found->second.object->m_hWnd = nullptr;
      if (found->second.wrapper) {
        found->second.wrapper->m_hWnd = nullptr;
        wrappers.push_back(std::move(found->second.wrapper));
      }
      table.windows.erase(found);
    }
  }
  for (const std::uintptr_t key : doomed) KillAllTimersOf(Handle(key));
  // The wrappers go outside the lock: their destructors may reach the table again.
}

bool AttachObject(HWND window, CWnd* object) {
  return WithEntry(window, [window, object](WindowEntry* entry) {
    if (!entry || entry->object) return false;
    entry->object = object;
    object->m_hWnd = window;
    return true;
  });
}

void DetachObject(HWND window) {
  WithEntry(window, [](WindowEntry* entry) {
    if (!entry) return;
    if (entry->object) entry->object->m_hWnd = nullptr;
    entry->object = nullptr;
  });
}

CWnd* WindowFromHandle(HWND window) {
  return WithEntry(window, [](const WindowEntry* entry) { return entry ? entry->object : nullptr; });
}

CWnd* PermanentWrapper(HWND window) {
  return WithEntry(window, [window](WindowEntry* entry) -> CWnd* {
    if (!entry) return nullptr;
    if (!entry->wrapper) {
      entry->wrapper = std::make_unique<CWnd>();
      entry->wrapper->m_hWnd = window;
    }
    return entry->wrapper.get();
  });
}

WindowBackend* BackendOf(HWND window) {
  return WithEntry(window, [](const WindowEntry* entry) { return entry ? entry->backend : nullptr; });
}

HWND ParentOf(HWND window) {
  return WithEntry(window, [](const WindowEntry* entry) { return entry ? Handle(entry->parent) : nullptr; });
}

int IdOf(HWND window) {
  return WithEntry(window, [](const WindowEntry* entry) { return entry ? entry->id : 0; });
}

HWND ChildById(HWND parent, int id) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  for (const auto& [key, entry] : table.windows) {
    if (entry.parent == Key(parent) && entry.id == id && parent) return Handle(key);
  }
  return nullptr;
}

std::vector<HWND> TopLevelWindows() {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  std::vector<HWND> windows;
  for (const auto& [key, entry] : table.windows) {
    if (entry.parent == 0) windows.push_back(Handle(key));
  }
  std::sort(windows.begin(), windows.end());
  return windows;
}

MenuData* SystemMenuOf(HWND window) {
  return WithEntry(window, [](WindowEntry* entry) -> MenuData* {
    if (!entry) return nullptr;
    if (!entry->systemMenu) entry->systemMenu = std::make_unique<MenuData>();
    return entry->systemMenu.get();
  });
}

}  // namespace platform

BOOL IsWindow(HWND window) {
  return platform::WithEntry(window, [](const platform::WindowEntry* entry) { return entry ? TRUE : FALSE; });
}
