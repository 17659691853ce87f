// Worker threads in the shape of CWinThread: created suspended from a run-time class,
// resumed, run, and (with auto-delete) deleting their own object when they end.
#pragma once

#include "platform/kernel/runtime_class.h"
#include "platform/kernel/types.h"

constexpr DWORD CREATE_SUSPENDED = 0x00000004;
constexpr DWORD STILL_ACTIVE = 259;

// The priorities the program runs threads at.
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;

// Every thread is auto-delete: its object goes when it ends.
class CWinThread : public CObject {
 public:
  CWinThread() = default;
  ~CWinThread() override;
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;

  virtual BOOL InitInstance() { return FALSE; }
  // Threads here have no message loop of their own: a thread that does not override Run
  // ends as soon as it has started.
  virtual int Run() { return ExitInstance(); }
  virtual int ExitInstance() { return 0; }

  HANDLE m_hThread = nullptr;
};

CWinThread* AfxBeginThread(const CRuntimeClass* threadClass, int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                           DWORD createFlags = 0, void* securityAttributes = nullptr);
// Ends the calling thread at once, unwinding its stack; with `deleteObject` its CWinThread
// object is deleted. Only for threads started by AfxBeginThread.
[[noreturn]] void AfxEndThread(UINT exitCode, BOOL deleteObject = TRUE);

HANDLE GetCurrentThread();
DWORD GetCurrentProcessId();
// The calling thread's priority (`thread` is GetCurrentThread()): above normal is nice -5, normal
// 0; raising one may be refused without privileges, which is ignored.
BOOL SetThreadPriority(HANDLE thread, int priority);
DWORD ResumeThread(HANDLE thread);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
