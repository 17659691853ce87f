#include "platform/kernel/sync.h"

#include <chrono>
#include <condition_variable>

#include "platform/kernel/handles.h"
#include "platform/kernel/last_error.h"

namespace {

class EventObject final : public platform::KernelObject {
 public:
  EventObject(bool manualReset, bool signalled) : m_manualReset(manualReset), m_signalled(signalled) {}

  void Set() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_signalled = true;
    }
    m_changed.notify_all();
  }

  void Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = false;
  }

  bool Wait(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto signalled = [this] { return m_signalled; };
    if (timeoutMs == INFINITE) {
      m_changed.wait(lock, signalled);
    } else if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled)) {
      return false;
    }
    if (!m_manualReset) m_signalled = false;
    return true;
  }

 private:
  const bool m_manualReset;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_signalled;
};

std::shared_ptr<EventObject> FindEvent(HANDLE handle) {
  auto event = platform::LookupHandleAs<EventObject>(handle);
  if (!event) SetLastError(ERROR_INVALID_HANDLE);
  return event;
}

}  // namespace

HANDLE CreateEventA(void* /*securityAttributes*/, BOOL manualReset, BOOL initialState, LPCSTR name) {
  if (name != nullptr) {
    // Named events are shared between processes on Windows; nothing here needs that.
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  return platform::InsertHandle(std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
  const auto object = FindEvent(event);
  if (!object) return FALSE;
  object->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  const auto object = FindEvent(event);
  if (!object) return FALSE;
  object->Reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE event, DWORD timeoutMs) {
  const auto object = FindEvent(event);
  if (!object) return WAIT_FAILED;
  return object->Wait(timeoutMs) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CCriticalSection::Lock(DWORD timeoutMs) {
  if (timeoutMs == INFINITE) {
    m_mutex.lock();
    return TRUE;
  }
  return m_mutex.try_lock_for(std::chrono::milliseconds(timeoutMs)) ? TRUE : FALSE;
}

BOOL CCriticalSection::Unlock() {
  m_mutex.unlock();
  return TRUE;
}

CEvent::CEvent(BOOL initiallyOwn, BOOL manualReset, LPCSTR name, void* securityAttributes)
    : m_hObject(CreateEventA(securityAttributes, manualReset, initiallyOwn, name)) {}

CEvent::~CEvent() {
  if (m_hObject) CloseHandle(m_hObject);
}

BOOL CEvent::SetEvent() { return ::SetEvent(m_hObject); }

BOOL CEvent::Lock(DWORD timeoutMs) { return WaitForSingleObject(m_hObject, timeoutMs) == WAIT_OBJECT_0; }

CSingleLock::CSingleLock(CSyncObject* object, BOOL initialLock) : m_object(object) {
  if (initialLock) Lock();
}

CSingleLock::~CSingleLock() { Unlock(); }

BOOL CSingleLock::Lock(DWORD timeoutMs) {
  if (!m_locked) m_locked = m_object->Lock(timeoutMs);
  return m_locked;
}

BOOL CSingleLock::Unlock() {
  if (m_locked) {
    m_object->Unlock();
    m_locked = FALSE;
  }
  return TRUE;
}
