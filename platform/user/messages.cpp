#include "platform/user/messages.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/kernel/clock.h"
#include "platform/kernel/last_error.h"
#include "platform/user/window_backend.h"
#include "platform/user/window_messages.h"
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

struct Timer {
  UINT elapseMs;
  std::uint64_t dueMs;
  // Each SetTimer makes a new setting: one taken as due and then killed and set again
  // before its turn came is not the setting that was due.
  std::uint64_t generation;
};

struct DueTimer {
  HWND window;
  UINT_PTR id;
  std::uint64_t generation;
};

struct Queue {
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<MSG> messages;
  std::unordered_map<std::uintptr_t, WindowEntry> windows;
  std::map<std::pair<std::uintptr_t, UINT_PTR>, Timer> timers;
  std::uintptr_t nextWindow = 0x10000;
  std::uint64_t nextTimerGeneration = 1;
  std::function<void()> wakeHook;
};

Queue& TheQueue() {
  // Never destroyed: worker threads that outlive main() may still reach it while the process exits.
  static Queue* const queue = new Queue;
  return *queue;
}

std::uintptr_t Key(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }
HWND Handle(std::uintptr_t key) { return reinterpret_cast<HWND>(key); }

WindowEntry* FindLocked(Queue& queue, HWND window) {
  const auto found = queue.windows.find(Key(window));
  return found == queue.windows.end() ? nullptr : &found->second;
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window && msg.hwnd != window) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

void Wake(Queue& queue) {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    hook = queue.wakeHook;
  }
  queue.posted.notify_all();
  if (hook) hook();
}

HWND Insert(CWnd* object, WindowBackend* backend, HWND parent, int id) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  const std::uintptr_t value = queue.nextWindow;
  queue.nextWindow += 2;
  WindowEntry& entry = queue.windows[value];
  entry.object = object;
  entry.backend = backend;
  entry.parent = Key(parent);
  entry.id = id;
  return Handle(value);
}

// The timers that are due now; each is moved on by its interval.
std::vector<DueTimer> TakeDueTimers(Queue& queue) {
  const std::uint64_t now = ActiveClock().NowMs();
  std::vector<DueTimer> due;
  std::lock_guard<std::mutex> lock(queue.mutex);
  for (auto& [key, timer] : queue.timers) {
    if (timer.dueMs > now) continue;
    timer.dueMs = now + timer.elapseMs;
    due.push_back(DueTimer{Handle(key.first), key.second, timer.generation});
  }
  return due;
}

// Whether the setting that was due still stands: an earlier handler may have killed it, or
// killed it and set it again.
bool StillSet(Queue& queue, const DueTimer& timer) {
  std::lock_guard<std::mutex> lock(queue.mutex);
  const auto found = queue.timers.find({Key(timer.window), timer.id});
  return found != queue.timers.end() && found->second.generation == timer.generation;
}

}  // namespace

HWND RegisterWindow(CWnd* window) { return Insert(window, nullptr, nullptr, 0); }

HWND CreateWindowHandle(WindowBackend* backend, HWND parent, int id) { return Insert(nullptr, backend, parent, id); }

void UnregisterWindow(HWND window) {
  std::vector<std::unique_ptr<CWnd>> wrappers;
  Queue& queue = TheQueue();
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    std::vector<std::uintptr_t> doomed = {Key(window)};
    for (std::size_t i = 0; i < doomed.size(); ++i) {
      for (const auto& [key, entry] : queue.windows) {
        if (entry.parent == doomed[i]) doomed.push_back(key);
      }
    }
    for (std::uintptr_t key : doomed) {
      const auto found = queue.windows.find(key);
      if (found == queue.windows.end()) continue;
      if (found->second.object) found->second.object->m_hWnd = nullptr;
      if (found->second.wrapper) {
        found->second.wrapper->m_hWnd = nullptr;
        wrappers.push_back(std::move(found->second.wrapper));
      }
      queue.windows.erase(found);
      for (auto timer = queue.timers.begin(); timer != queue.timers.end();) {
        timer = timer->first.first == key ? queue.timers.erase(timer) : std::next(timer);
      }
    }
  }
  // The wrappers go outside the lock: their destructors may reach the table again.
}

bool AttachObject(HWND window, CWnd* object) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  WindowEntry* entry = FindLocked(queue, window);
  if (!entry || entry->object) return false;
  entry->object = object;
  object->m_hWnd = window;
  return true;
}

void DetachObject(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  if (WindowEntry* entry = FindLocked(queue, window)) {
    if (entry->object) entry->object->m_hWnd = nullptr;
    entry->object = nullptr;
  }
}

CWnd* WindowFromHandle(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  const WindowEntry* entry = FindLocked(queue, window);
  return entry ? entry->object : nullptr;
}

CWnd* PermanentWrapper(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  WindowEntry* entry = FindLocked(queue, window);
  if (!entry) return nullptr;
  if (!entry->wrapper) {
    entry->wrapper = std::make_unique<CWnd>();
    entry->wrapper->m_hWnd = window;
  }
  return entry->wrapper.get();
}

WindowBackend* BackendOf(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  const WindowEntry* entry = FindLocked(queue, window);
  return entry ? entry->backend : nullptr;
}

HWND ParentOf(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  const WindowEntry* entry = FindLocked(queue, window);
  return entry ? Handle(entry->parent) : nullptr;
}

int IdOf(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  const WindowEntry* entry = FindLocked(queue, window);
  return entry ? entry->id : 0;
}

HWND ChildById(HWND parent, int id) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  for (const auto& [key, entry] : queue.windows) {
    if (entry.parent == Key(parent) && entry.id == id && parent) return Handle(key);
  }
  return nullptr;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  std::vector<HWND> children;
  for (const auto& [key, entry] : queue.windows) {
    if (parent && entry.parent == Key(parent)) children.push_back(Handle(key));
  }
  std::sort(children.begin(), children.end());
  return children;
}

std::vector<HWND> TopLevelWindows() {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  std::vector<HWND> windows;
  for (const auto& [key, entry] : queue.windows) {
    if (entry.parent == 0) windows.push_back(Handle(key));
  }
  std::sort(windows.begin(), windows.end());
  return windows;
}

MenuData* SystemMenuOf(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  WindowEntry* entry = FindLocked(queue, window);
  if (!entry) return nullptr;
  if (!entry->systemMenu) entry->systemMenu = std::make_unique<MenuData>();
  return entry->systemMenu.get();
}

void SetWindowTimer(HWND window, UINT_PTR id, UINT elapseMs) {
  Queue& queue = TheQueue();
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.timers[{Key(window), id}] = Timer{elapseMs, ActiveClock().NowMs() + elapseMs, queue.nextTimerGeneration++};
  }
  Wake(queue);
}

bool KillWindowTimer(HWND window, UINT_PTR id) {
  Queue& queue = TheQueue();
  bool killed = false;
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    killed = queue.timers.erase({Key(window), id}) > 0;
  }
  // The toolkit's wake-up for that timer is no longer due.
  if (killed) Wake(queue);
  return killed;
}

std::optional<std::uint64_t> NextTimerDue() {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  std::optional<std::uint64_t> next;
  for (const auto& [key, timer] : queue.timers) {
    if (!next || timer.dueMs < *next) next = timer.dueMs;
  }
  return next;
}

int PumpPostedMessages() {
  int dispatched = 0;
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessage(&msg);
    ++dispatched;
  }
  for (const DueTimer& timer : TakeDueTimers(TheQueue())) {
    if (!StillSet(TheQueue(), timer)) continue;
    msg = MSG{timer.window, WM_TIMER, timer.id, 0, GetTickCount()};
    DispatchMessage(&msg);
    ++dispatched;
  }
  return dispatched;
}

bool WaitForPostedMessage(DWORD timeoutMs) {
  Queue& queue = TheQueue();
  std::unique_lock<std::mutex> lock(queue.mutex);
  return queue.posted.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !queue.messages.empty(); });
}

void SetQueueWakeHook(std::function<void()> hook) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.wakeHook = std::move(hook);
}

}  // namespace platform

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  platform::Queue& queue = platform::TheQueue();
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    if (!platform::FindLocked(queue, window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    queue.messages.push_back(MSG{window, message, wParam, lParam, GetTickCount()});
  }
  platform::Wake(queue);
  return TRUE;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (CWnd* object = platform::WindowFromHandle(window)) return object->WindowProc(message, wParam, lParam);
  if (platform::WindowBackend* backend = platform::BackendOf(window)) {
    return backend->ClassProc(message, wParam, lParam);
  }
  return 0;
}

BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  platform::Queue& queue = platform::TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
    if (!platform::Matches(*it, window, filterMin, filterMax)) continue;
    *msg = *it;
    if (removeFlags & PM_REMOVE) queue.messages.erase(it);
    return TRUE;
  }
  return FALSE;
}

LRESULT DispatchMessage(const MSG* msg) { return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam); }

BOOL IsWindow(HWND window) {
  platform::Queue& queue = platform::TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  return platform::FindLocked(queue, window) ? TRUE : FALSE;
}
