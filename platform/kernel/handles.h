// Kernel-object handles: events and open devices are reached through HANDLE values.
//
// A handle value is never reused within a process, and each lookup hands out a shared
// reference, so a thread still using an object after another thread closed its handle
// keeps the object (and any file descriptor inside it) alive until it lets go.
#pragma once

#include <memory>

#include "platform/kernel/types.h"

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

BOOL CloseHandle(HANDLE handle);
