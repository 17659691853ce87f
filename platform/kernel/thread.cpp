#include "platform/kernel/thread.h"

#include <sys/resource.h>
#include <unistd.h>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/kernel/handles.h"
#include "platform/kernel/last_error.h"

namespace {

HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));

class ThreadObject final : public platform::KernelObject {
 public:
  explicit ThreadObject(DWORD suspendCount) : m_suspendCount(suspendCount) {}

  void Started(pid_t tid) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_tid = tid;
    }
    m_changed.notify_all();
  }

  pid_t WaitStarted() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_tid != 0; });
    return m_tid;
  }

  DWORD Resume() {
    std::lock_guard<std::mutex> lock(m_mutex);
    const DWORD previous = m_suspendCount;
    if (m_suspendCount > 0 && --m_suspendCount == 0) m_changed.notify_all();
    return previous;
  }

  void WaitResumed() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_suspendCount == 0; });
  }

  void Finish(DWORD exitCode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_exitCode = exitCode;
  }

  DWORD ExitCode() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exitCode;
  }

  pid_t Tid() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tid;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  DWORD m_suspendCount;
  DWORD m_exitCode = STILL_ACTIVE;
  pid_t m_tid = 0;
};

// Thrown by AfxEndThread and caught where the thread began: the stack unwinds as it ends.
struct ThreadExit {
  UINT exitCode;
  bool deleteObject;
};

thread_local bool t_isWorker = false;

int NiceValue(int priority) { return priority == THREAD_PRIORITY_ABOVE_NORMAL ? -5 : 0; }

void RunThread(std::shared_ptr<ThreadObject> object, CWinThread* thread) {
  t_isWorker = true;
  object->Started(gettid());
  object->WaitResumed();
  UINT exitCode = 0;
  bool deleteObject = true;
  try {
    exitCode = static_cast<UINT>(thread->InitInstance() ? thread->Run() : thread->ExitInstance());
  } catch (const ThreadExit& exit) {
    exitCode = exit.exitCode;
    deleteObject = exit.deleteObject;
  }
  if (deleteObject && thread->m_bAutoDelete) delete thread;
  object->Finish(exitCode);
}

}  // namespace

const CRuntimeClass CWinThread::classCWinThread = {"CWinThread", sizeof(CWinThread), 0xFFFF, nullptr,
                                                   &CObject::classCObject};

CWinThread::~CWinThread() {
  if (m_hThread) CloseHandle(m_hThread);
}

BOOL CWinThread::CreateThread(DWORD createFlags, UINT /*stackSize*/) {
  auto object = std::make_shared<ThreadObject>(1);
  const HANDLE handle = platform::InsertHandle(object);
  try {
    std::thread(RunThread, object, this).detach();
  } catch (const std::system_error&) {
    CloseHandle(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  m_hThread = handle;
  // Its id is known before anybody sets its priority.
  object->WaitStarted();
  if (!(createFlags & CREATE_SUSPENDED)) object->Resume();
  return TRUE;
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }

BOOL CWinThread::SetThreadPriority(int priority) { return ::SetThreadPriority(m_hThread, priority); }

CWinThread* AfxBeginThread(const CRuntimeClass* threadClass, int priority, UINT stackSize, DWORD createFlags,
                           void* /*securityAttributes*/) {
  auto* thread = dynamic_cast<CWinThread*>(threadClass->CreateObject());
  if (!thread) return nullptr;
  if (!thread->CreateThread(createFlags | CREATE_SUSPENDED, stackSize)) {
    delete thread;
    return nullptr;
  }
  thread->SetThreadPriority(priority);
  if (!(createFlags & CREATE_SUSPENDED)) thread->ResumeThread();
  return thread;
}

void AfxEndThread(UINT exitCode, BOOL deleteObject) {
  if (!t_isWorker) {
    std::fputs("AfxEndThread called outside a worker thread\n", stderr);
    std::abort();
  }
  throw ThreadExit{exitCode, deleteObject != FALSE};
}

HANDLE GetCurrentThread() { return kCurrentThread; }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

BOOL SetThreadPriority(HANDLE thread, int priority) {
  pid_t tid = 0;
  if (thread == kCurrentThread) {
    tid = gettid();
  } else if (const auto object = platform::LookupHandleAs<ThreadObject>(thread)) {
    tid = object->Tid();
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Raising a priority needs privileges a technician's account may not have; running at
  // the normal priority then is harmless, so a refusal is not reported.
  setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceValue(priority));
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
