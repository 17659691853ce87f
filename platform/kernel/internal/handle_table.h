// The table behind kernel-object handles, for the platform's own objects only.
//
// A handle value is never reused within a process, and each lookup hands out a shared
// reference, so a thread still using an object after another thread closed its handle
// keeps the object (and any file descriptor inside it) alive until it lets go.
#pragma once

#include <memory>

#include "platform/kernel/handles.h"

namespace platform {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called once when the handle is closed, while other threads may still hold references.
  virtual void OnHandleClosed() {}
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

}  // namespace platform
