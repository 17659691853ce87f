#include "platform/messages.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/wnd.h"

namespace platform {
namespace {

struct Queue {
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<MSG> messages;
  std::unordered_map<std::uintptr_t, CWnd*> windows;
  std::uintptr_t nextWindow = 0x10000;
};

Queue& TheQueue() {
  // Never destroyed: worker threads that outlive main() may still reach it while the process exits.
  static Queue* const queue = new Queue;
  return *queue;
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window && msg.hwnd != window) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

}  // namespace

HWND RegisterWindow(CWnd* window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  const std::uintptr_t value = queue.nextWindow;
  queue.nextWindow += 2;
  queue.windows.emplace(value, window);
  return reinterpret_cast<HWND>(value);
}

void UnregisterWindow(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.windows.erase(reinterpret_cast<std::uintptr_t>(window));
}

CWnd* WindowFromHandle(HWND window) {
  Queue& queue = TheQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  const auto found = queue.windows.find(reinterpret_cast<std::uintptr_t>(window));
  return found == queue.windows.end() ? nullptr : found->second;
}

int PumpPostedMessages() {
  int dispatched = 0;
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
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

}  // namespace platform

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  platform::Queue& queue = platform::TheQueue();
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    if (queue.windows.count(reinterpret_cast<std::uintptr_t>(window)) == 0) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    queue.messages.push_back(MSG{window, message, wParam, lParam, GetTickCount()});
  }
  queue.posted.notify_all();
  return TRUE;
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

LRESULT DispatchMessage(const MSG* msg) {
  CWnd* target = platform::WindowFromHandle(msg->hwnd);
  if (!target) return 0;
  return target->WindowProc(msg->message, msg->wParam, msg->lParam);
}
