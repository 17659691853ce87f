// Events and the critical section.
#pragma once

#include <mutex>

#include "platform/kernel/types.h"

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Event objects reached by handle. Waits are real waits between threads, not timers.
HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE event, DWORD timeoutMs);

class CSyncObject {
 public:
  virtual ~CSyncObject() = default;
  virtual BOOL Lock(DWORD timeoutMs = INFINITE) = 0;
  virtual BOOL Unlock() = 0;
};

class CCriticalSection final : public CSyncObject {
 public:
  BOOL Lock(DWORD timeoutMs = INFINITE) override;
  BOOL Unlock() override;

 private:
  std::timed_mutex m_mutex;
};

class CEvent final : public CSyncObject {
 public:
  explicit CEvent(BOOL initiallyOwn = FALSE, BOOL manualReset = FALSE, LPCSTR name = nullptr,
                  void* securityAttributes = nullptr);
  ~CEvent() override;
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  BOOL SetEvent();
  // Waits until the event is signalled; an auto-reset event is reset by the wait.
  BOOL Lock(DWORD timeoutMs = INFINITE) override;
  BOOL Unlock() override { return TRUE; }

  HANDLE m_hObject;
};

// Holds a lock for one scope.
class CSingleLock {
 public:
  explicit CSingleLock(CSyncObject* object, BOOL initialLock = FALSE);
  ~CSingleLock();
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;

  BOOL Lock(DWORD timeoutMs = INFINITE);
  BOOL Unlock();

 private:
  CSyncObject* m_object;
  BOOL m_locked = FALSE;
};
