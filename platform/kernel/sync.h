// Events and the critical section.
#pragma once

#include <mutex>

#include "platform/kernel/types.h"

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Event objects reached by handle. Waits are real waits between threads, not timers. Nothing
// here shares an event between processes, so a name is ignored.
HANDLE CreateEventA(void* securityAttributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE event, DWORD timeoutMs);

class CCriticalSection {
 public:
  BOOL Lock();
  BOOL Unlock();

 private:
  std::mutex m_mutex;
};

class CEvent {
 public:
  explicit CEvent(BOOL initiallyOwn = FALSE, BOOL manualReset = FALSE);
  ~CEvent();
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  BOOL SetEvent();
  // Waits until the event is signalled; an auto-reset event is reset by the wait.
  BOOL Lock(DWORD timeoutMs = INFINITE);

  HANDLE m_hObject;
};

// Holds a critical section for one scope.
class CSingleLock {
 public:
  explicit CSingleLock(CCriticalSection* section, BOOL initialLock = FALSE);
  ~CSingleLock();
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;

 private:
  CCriticalSection* m_locked;
};
