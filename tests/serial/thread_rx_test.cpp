// The receive thread on a real pseudo-terminal: started, fed, stopped and unplugged.
#include "serial/thread_rx.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>
#include <chrono>
#include <thread>
#include <vector>

#include "link/link_messages.h"
#include "platform/kernel/clock.h"
#include "serial/serial_port.h"
#include "tests/support/pty_port.h"
#include "tests/support/recording_window.h"
#include "tests/support/thread_probe.h"

namespace {

using Bytes = std::vector<BYTE>;
using namespace testing_support;

constexpr unsigned kPort = 7;

class ReceiveThread : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::PumpPostedMessages();
    platform::UseClock(&clock);
    g_bThreadLost = FALSE;
    g_bKeepRunning = FALSE;
    port.SetPortNumber(kPort);
    ASSERT_TRUE(port.Attach(&owner, &log));
    ASSERT_TRUE(port.Open());
  }

  void TearDown() override {
    if (thread) StopReceiveThread(port, thread);
    port.Release();
    EXPECT_TRUE(WaitUntil(g_bThreadActive, FALSE));
    platform::UseClock(nullptr);
  }

  void Start() {
    g_bKeepRunning = TRUE;
    thread = StartReceiveThread(&owner, &port, &log);
    ASSERT_NE(thread, nullptr);
    tid = NewestThread();
  }

  // Bytes written by the handset reach the port's queue a moment after the write.
  bool WaitUntilWaiting(DWORD count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      ClearCommError(port.GetHandle(), &errors, &status);
      if (status.cbInQue == count) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::yield();
    }
  }

  // The thread has drained what came and waits for the next comm event.
  void WaitIdle() { ASSERT_TRUE(WaitUntilBlockedInPoll(tid)); }

  platform::ManualClock clock;
  ScopedPortMap map;
  PtyPort handset{map, kPort};
  RecordingWindow owner;
  CLogQueue log;
  CSerialPort port;
  CThreadRX* thread = nullptr;
  DWORD tid = 0;
};

// The second answer comes in two comm events, as a USB adapter's latency timer cuts it.
TEST_F(ReceiveThread, AnswersInOnePieceOrSplitAcrossEventsAreTakenWhole) {
  Start();
  WaitIdle();
  handset.Write({0x02, 0x6A, 0xD3, 0x7E});
  ASSERT_TRUE(owner.WaitFor(WM_RESPONSE_READY, 1));
  const long switches = VoluntarySwitches(tid);
  handset.Write({0xA4, 0x56});
  ASSERT_TRUE(WaitUntilBlockedAgain(tid, switches)) << "the first half was taken in an event of its own";
  handset.Write({0x13, 0x7E});
  ASSERT_TRUE(owner.WaitFor(WM_RESPONSE_READY, 2));
  for (const BYTE code : {0x02, 0xA4}) {
    const BYTE* response = port.TakeResponse();
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response[0], code);
  }
  EXPECT_EQ(owner.Count(WM_LOG_QUEUED), 0);
}

TEST_F(ReceiveThread, ClosingThePortEndsTheThreadWithinTheStopWait) {
  Start();
  WaitIdle();
  ASSERT_TRUE(g_bThreadActive);
  const auto start = std::chrono::steady_clock::now();
  g_bKeepRunning = FALSE;
  port.Release();
  // The stop sequence gives the thread 1000 ms before it looks at the flag.
  EXPECT_TRUE(WaitUntil(g_bThreadActive, FALSE, 1000));
  const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  RecordProperty("release_to_thread_end_us", static_cast<int>(waited.count()));
  EXPECT_TRUE(owner.WaitFor(WM_RX_THREAD_ENDED, 1));
  thread = nullptr;
}

TEST_F(ReceiveThread, TheStopSequenceLeavesNoThreadBehind) {
  Start();
  WaitIdle();
  StopReceiveThread(port, thread);
  EXPECT_EQ(thread, nullptr);
  EXPECT_FALSE(g_bThreadActive);
  EXPECT_FALSE(g_bKeepRunning);
  EXPECT_FALSE(g_bPortOpen);
  EXPECT_TRUE(owner.WaitFor(WM_RX_THREAD_ENDED, 1));
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), 0)
      << "the user-interface thread is back at normal priority";
}

TEST_F(ReceiveThread, KeepRunningClearAtStartReadsNothing) {
  handset.Write({0x02, 0x6A, 0xD3, 0x7E});
  ASSERT_TRUE(WaitUntilWaiting(4));
  thread = StartReceiveThread(&owner, &port, &log);
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(owner.WaitFor(WM_RX_THREAD_ENDED, 1));
  thread = nullptr;
  EXPECT_EQ(owner.Count(WM_RESPONSE_READY), 0);
  EXPECT_FALSE(g_bThreadLost);
  EXPECT_TRUE(WaitUntilWaiting(4)) << "the bytes are still waiting";
}

TEST_F(ReceiveThread, AnUnpluggedHandsetEndsTheThreadAsLost) {
  Start();
  WaitIdle();
  handset.CloseMaster();
  ASSERT_TRUE(owner.WaitFor(WM_RX_THREAD_ENDED, 1));
  EXPECT_TRUE(WaitUntil(g_bThreadActive, FALSE));
  EXPECT_TRUE(g_bThreadLost);
  thread = nullptr;
}

TEST(ReceiveThreadAlone, APortThatWillNotTakeTheMaskIsLoggedAndEndsTheThread) {
  platform::PumpPostedMessages();
  RecordingWindow owner;
  CLogQueue log;
  CSerialPort closedPort;
  ASSERT_TRUE(closedPort.Attach(&owner, &log));
  g_bKeepRunning = TRUE;
  ASSERT_NE(StartReceiveThread(&owner, &closedPort, &log), nullptr);
  ASSERT_TRUE(owner.WaitFor(WM_RX_THREAD_ENDED, 1));
  CLogEntry entry;
  ASSERT_TRUE(log.Pop(entry));
  EXPECT_EQ(entry.m_nKind, LOG_INFO);
  EXPECT_EQ(entry.m_strText, "\nFail to set Comm mask\n\n");
  EXPECT_FALSE(log.Pop(entry));
  EXPECT_TRUE(WaitUntil(g_bThreadActive, FALSE));
  g_bKeepRunning = FALSE;
}

}  // namespace
