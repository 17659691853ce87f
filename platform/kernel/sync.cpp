#include "platform/kernel/sync.h"

#include <chrono>
#include <condition_variable>

#include "platform/kernel/internal/handle_table.h"
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

HANDLE CreateEventA(void* /*securityAttributes*/, BOOL manualReset, BOOL initialState, LPCSTR /*name*/) {
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

BOOL CCriticalSection::Lock() {
  m_mutex.lock();
  return TRUE;
}

BOOL CCriticalSection::Unlock() {
  m_mutex.unlock();
  return TRUE;
}

CEvent::CEvent(BOOL initiallyOwn, BOOL manualReset)
    : m_hObject(CreateEventA(nullptr, manualReset, initiallyOwn, nullptr)) {}

CEvent::~CEvent() { CloseHandle(m_hObject); }

BOOL CEvent::SetEvent() { return ::SetEvent(m_hObject); }

BOOL CEvent::Lock(DWORD timeoutMs) { return WaitForSingleObject(m_hObject, timeoutMs) == WAIT_OBJECT_0; }

CSingleLock::CSingleLock(CCriticalSection* section, BOOL initialLock) : m_locked(initialLock ? section : nullptr) {
  if (m_locked) m_locked->Lock();
}

CSingleLock::~CSingleLock() {
  if (m_locked) m_locked->Unlock();
}
