#include "platform/kernel/thread.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>
#include <atomic>

#include "platform/kernel/sync.h"
#include "tests/support/thread_probe.h"

namespace {

using testing_support::WaitUntil;

std::atomic<int> g_runs{0};
std::atomic<int> g_destroyed{0};
std::atomic<int> g_niceSeen{99};

class CountingThread : public CWinThread {
  DECLARE_DYNCREATE(CountingThread)

 public:
  ~CountingThread() override { ++g_destroyed; }
  BOOL InitInstance() override { return TRUE; }
  int Run() override {
    g_niceSeen = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    ++g_runs;
    return 7;
  }
};
IMPLEMENT_DYNCREATE(CountingThread, CWinThread)

class EndingThread : public CWinThread {
  DECLARE_DYNCREATE(EndingThread)

 public:
  ~EndingThread() override { ++g_destroyed; }
  BOOL InitInstance() override { return TRUE; }
  int Run() override {
    DWORD code = 0;
    GetExitCodeThread(m_hThread, &code);
    AfxEndThread(code, TRUE);
  }
};
IMPLEMENT_DYNCREATE(EndingThread, CWinThread)

class ThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_runs = 0;
    g_destroyed = 0;
  }
};

TEST_F(ThreadTest, ASuspendedThreadRunsOnlyWhenResumedAndDeletesItself) {
  auto* thread = AfxBeginThread(RUNTIME_CLASS(CountingThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(g_runs, 0);
  const HANDLE handle = thread->m_hThread;
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(handle, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(ResumeThread(handle), 1u);
  EXPECT_TRUE(WaitUntil(g_destroyed, 1));
  EXPECT_EQ(g_runs, 1);
  EXPECT_FALSE(GetExitCodeThread(handle, &code)) << "the object's destructor closed its handle";
}

TEST_F(ThreadTest, EndThreadUnwindsAndDeletesTheObject) {
  ASSERT_NE(AfxBeginThread(RUNTIME_CLASS(EndingThread)), nullptr);
  EXPECT_TRUE(WaitUntil(g_destroyed, 1));
}

TEST_F(ThreadTest, AboveNormalPriorityIsANegativeNiceWhereAllowed) {
  ASSERT_NE(AfxBeginThread(RUNTIME_CLASS(CountingThread), THREAD_PRIORITY_ABOVE_NORMAL), nullptr);
  ASSERT_TRUE(WaitUntil(g_destroyed, 1));
  // Without the privilege to raise it the thread simply runs at the normal priority.
  EXPECT_LE(g_niceSeen, 0);
  EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), 0);
}

TEST_F(ThreadTest, ManyThreadsComeAndGoWithoutLeakingHandlesOrDescriptors) {
  const int descriptors = testing_support::OpenDescriptorCount();
  for (int i = 0; i < 200; ++i) ASSERT_NE(AfxBeginThread(RUNTIME_CLASS(CountingThread)), nullptr);
  EXPECT_TRUE(WaitUntil(g_destroyed, 200, 10000));
  EXPECT_EQ(testing_support::OpenDescriptorCount(), descriptors);
}

}  // namespace
