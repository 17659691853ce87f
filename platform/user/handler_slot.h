// A replaceable handler any thread may read: the window layer installs the real one, and tests
// and batch runs put their own in its place for a while.
#pragma once

#include <mutex>
#include <utility>

namespace platform {

template <class Handler>
class HandlerSlot {
 public:
  // Installs `handler` and answers the one it replaces.
  Handler Set(Handler handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::swap(m_handler, handler);
    return handler;
  }
  Handler Get() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handler;
  }

 private:
  mutable std::mutex m_mutex;
  Handler m_handler{};
};

}  // namespace platform
