#include "platform/user/messages.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "platform/kernel/clock.h"
#include "platform/kernel/last_error.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/window_backend.h"
#include "platform/user/window_messages.h"
#include "platform/user/wnd.h"

namespace platform {
namespace {

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
  std::map<std::pair<std::uintptr_t, UINT_PTR>, Timer> timers;
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

void KillAllTimersOf(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  for (auto timer = queue.timers.begin(); timer != queue.timers.end();) {
    timer = timer->first.first == Key(window) ? queue.timers.erase(timer) : std::next(timer);
  }
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
    msg = MSG{timer.window, WM_TIMER, timer.id, 0, GetTickCount(), {}};
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

void RunMessageLoopUntil(const std::function<bool()>& done) {
  // Timers are set while messages are dispatched, so the next one due is known before each wait;
  // the bound only keeps a wait with none from being endless.
  constexpr std::uint64_t kLongestWaitMs = 1000;
  while (!done()) {
    std::uint64_t waitMs = kLongestWaitMs;
    if (const std::optional<std::uint64_t> due = NextTimerDue()) {
      const std::uint64_t now = ActiveClock().NowMs();
      waitMs = *due > now ? std::min(*due - now, kLongestWaitMs) : 0;
    }
    WaitForPostedMessage(static_cast<DWORD>(waitMs));
    PumpPostedMessages();
  }
}

void SetQueueWakeHook(std::function<void()> hook) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.wakeHook = std::move(hook);
}

}  // namespace platform

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  platform::Queue& queue = platform::TheQueue();
  // A message posted to a window that goes before it is dispatched is dropped then.
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.messages.push_back(MSG{window, message, wParam, lParam, GetTickCount(), {}});
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
