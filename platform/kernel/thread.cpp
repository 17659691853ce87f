#include "platform/kernel/thread.h"

#include <sys/resource.h>
#include <unistd.h>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/kernel/internal/handle_table.h"
#include "platform/kernel/last_error.h"

namespace {

HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));

class ThreadObject final : public platform::KernelObject {
 public:
  explicit ThreadObject(DWORD suspendCount) : m_suspendCount(suspendCount) {}

  DWORD Resume() {
    std::lock_guard<std::mutex> lock(m_mutex);
    const DWORD previous = m_suspendCount;
    if (m_suspendCount > 0 && --m_suspendCount == 0) m_resumed.notify_all();
    return previous;
  }

  void WaitResumed() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_resumed.wait(lock, [this] { return m_suspendCount == 0; });
  }

  void Finish(DWORD exitCode) { m_exitCode = exitCode; }
  DWORD ExitCode() const { return m_exitCode; }

 private:
  std::mutex m_mutex;
  std::condition_variable m_resumed;
  DWORD m_suspendCount;
  std::atomic<DWORD> m_exitCode{STILL_ACTIVE};
};

// Thrown by AfxEndThread and caught where the thread began: the stack unwinds as it ends.
struct ThreadExit {
  UINT exitCode;
  bool deleteObject;
};

int NiceValue(int priority) { return priority == THREAD_PRIORITY_ABOVE_NORMAL ? -5 : 0; }

// The thread takes its priority before it can be resumed, so it never runs at another.
void RunThread(std::shared_ptr<ThreadObject> object, CWinThread* thread, int priority) {
  SetThreadPriority(GetCurrentThread(), priority);
  object->WaitResumed();
  UINT exitCode = 0;
  bool deleteObject = true;
  try {
    exitCode = static_cast<UINT>(thread->InitInstance() ? thread->Run() : thread->ExitInstance());
  } catch (const ThreadExit& exit) {
    exitCode = exit.exitCode;
    deleteObject = exit.deleteObject;
  }
  if (deleteObject) delete thread;
  object->Finish(exitCode);
}

}  // namespace

CWinThread::~CWinThread() {
  if (m_hThread) CloseHandle(m_hThread);
}

CWinThread* AfxBeginThread(const CRuntimeClass* threadClass, int priority, UINT /*stackSize*/, DWORD createFlags,
                           void* /*securityAttributes*/) {
  auto* thread = dynamic_cast<CWinThread*>(threadClass->CreateObject());
  if (!thread) return nullptr;
  auto object = std::make_shared<ThreadObject>(1);
  thread->m_hThread = platform::InsertHandle(object);
  try {
    std::thread(RunThread, object, thread, priority).detach();
  } catch (const std::system_error&) {
    delete thread;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (!(createFlags & CREATE_SUSPENDED)) object->Resume();
  return thread;
}

void AfxEndThread(UINT exitCode, BOOL deleteObject) { throw ThreadExit{exitCode, deleteObject != FALSE}; }

HANDLE GetCurrentThread() { return kCurrentThread; }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

BOOL SetThreadPriority(HANDLE thread, int priority) {
  if (thread != kCurrentThread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Raising a priority needs privileges a technician's account may not have; running at
  // the normal priority then is harmless, so a refusal is not reported.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), NiceValue(priority));
  return TRUE;
}

DWORD ResumeThread(HANDLE thread) {
  const auto object = platform::LookupHandleAs<ThreadObject>(thread);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  return object->Resume();
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  const auto object = platform::LookupHandleAs<ThreadObject>(thread);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = object->ExitCode();
  return TRUE;
}
