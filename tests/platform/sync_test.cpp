#include "platform/kernel/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/kernel/clock.h"
#include "platform/kernel/handles.h"
#include "platform/kernel/last_error.h"

namespace {

TEST(Event, AutoResetReleasesOneWaitAndResets) {
  CEvent event;
  EXPECT_FALSE(event.Lock(0));
  event.SetEvent();
  EXPECT_TRUE(event.Lock(0));
  EXPECT_FALSE(event.Lock(0)) << "the wait reset it";
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

TEST(Event, WakesAThreadWaitingWithoutLimit) {
  CEvent event;
  auto waiter = std::async(std::launch::async, [&event] { return event.Lock(INFINITE); });
  event.SetEvent();
  ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(waiter.get());
}

TEST(Event, ClosedHandlesAreRefused) {
  const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_TRUE(CloseHandle(event));
  EXPECT_FALSE(SetEvent(event));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(event));
  const HANDLE next = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_NE(next, event) << "handle values are not reused";
  CloseHandle(next);
}

TEST(CriticalSection, KeepsTwoThreadsOutOfEachOther) {
  CCriticalSection section;
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      CSingleLock lock(&section, TRUE);
      ++counter;
    }
  };
  std::thread other(work);
  work();
  other.join();
  EXPECT_EQ(counter, 40000);
}

class ManualClockTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::UseClock(&clock); }
  void TearDown() override { platform::UseClock(nullptr); }
  platform::ManualClock clock;
};

TEST_F(ManualClockTest, SleepAdvancesTimeInsteadOfWaiting) {
  const DWORD start = GetTickCount();
  Sleep(1000);
  EXPECT_EQ(GetTickCount() - start, 1000u);
  clock.Advance(250);
  EXPECT_EQ(GetTickCount() - start, 1250u);
}

TEST_F(ManualClockTest, OtherThreadsKeepRunningWhileASleeperPolls) {
  std::atomic<bool> done{false};
  std::thread worker([&done] { done = true; });
  // A loop that sleeps 10 ms between looks, as the stop sequence does, ends by the other
  // thread's progress, not by the wall clock.
  while (!done) Sleep(10);
  worker.join();
  SUCCEED();
}

}  // namespace
