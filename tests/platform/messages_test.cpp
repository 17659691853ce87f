#include "platform/user/messages.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/kernel/last_error.h"
#include "tests/support/recording_window.h"

namespace {

using testing_support::RecordingWindow;

constexpr UINT WM_TEST = WM_USER + 7;

class Messages : public ::testing::Test {
 protected:
  void SetUp() override { platform::PumpPostedMessages(); }
};

TEST_F(Messages, PostedMessagesReachTheWindowInOrderWithTheirParameters) {
  RecordingWindow window;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(window.PostMessage(WM_TEST, i, -i));
  EXPECT_TRUE(window.received.empty()) << "posting never dispatches";
  EXPECT_EQ(platform::PumpPostedMessages(), 5);
  ASSERT_EQ(window.received.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(window.received[i].message, WM_TEST);
    EXPECT_EQ(window.received[i].wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(window.received[i].lParam, -i);
  }
}

TEST_F(Messages, PostingToAWindowThatIsGoneIsHarmless) {
  HWND gone = nullptr;
  {
    RecordingWindow window;
    gone = window.GetSafeHwnd();
  }
  EXPECT_FALSE(PostMessage(gone, WM_TEST, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_FALSE(PostMessage(nullptr, WM_TEST, 0, 0));
  EXPECT_EQ(platform::PumpPostedMessages(), 0);
}

TEST_F(Messages, AMessageQueuedForAWindowDestroyedBeforeThePumpIsDropped) {
  RecordingWindow survivor;
  {
    RecordingWindow doomed;
    doomed.PostMessage(WM_TEST);
    survivor.PostMessage(WM_TEST);
  }
  platform::PumpPostedMessages();
  EXPECT_EQ(survivor.received.size(), 1u);
}

TEST_F(Messages, PeekFiltersByWindowAndRangeAndCanLeaveTheMessage) {
  RecordingWindow first;
  RecordingWindow second;
  first.PostMessage(WM_TEST);
  second.PostMessage(WM_TEST + 1);
  MSG msg{};
  ASSERT_TRUE(PeekMessage(&msg, second.GetSafeHwnd(), 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_TEST + 1);
  EXPECT_FALSE(PeekMessage(&msg, nullptr, WM_TEST + 2, WM_TEST + 9, PM_REMOVE));
  ASSERT_TRUE(PeekMessage(&msg, nullptr, WM_TEST + 1, WM_TEST + 1, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, second.GetSafeHwnd());
  EXPECT_EQ(platform::PumpPostedMessages(), 1) << "only the first window's message is left";
  EXPECT_EQ(first.received.size(), 1u);
}

TEST_F(Messages, PostsFromOtherThreadsAllArriveAndWakeTheWaiter) {
  RecordingWindow window;
  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&window, t] {
      for (int i = 0; i < kEach; ++i) PostMessage(window.GetSafeHwnd(), WM_TEST, t, i);
    });
  }
  EXPECT_TRUE(window.WaitFor(WM_TEST, kThreads * kEach, 5000));
  for (std::thread& poster : posters) poster.join();
  // Each thread's messages keep their order.
  std::vector<LPARAM> last(kThreads, -1);
  for (const MSG& msg : window.received) {
    EXPECT_EQ(msg.lParam, last[msg.wParam] + 1);
    last[msg.wParam] = msg.lParam;
  }
}

TEST_F(Messages, WaitingForAMessageIsBounded) { EXPECT_FALSE(platform::WaitForPostedMessage(0)); }

}  // namespace
