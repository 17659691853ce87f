// Window timers on the clock seam: periodic until killed, due on the platform clock.
#include <gtest/gtest.h>

#include "platform/kernel/clock.h"
#include "platform/user/messages.h"
#include "platform/user/window_messages.h"
#include "tests/support/recording_window.h"

namespace {

using testing_support::RecordingWindow;

class Timers : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseClock(&clock);
    platform::PumpPostedMessages();
  }
  void TearDown() override { platform::UseClock(nullptr); }

  int Fired(RecordingWindow& window, UINT_PTR id) {
    platform::PumpPostedMessages();
    int count = 0;
    for (const MSG& msg : window.received) count += msg.message == WM_TIMER && msg.wParam == id ? 1 : 0;
    return count;
  }

  platform::ManualClock clock;
};

TEST_F(Timers, ATimerFiresEachIntervalUntilKilled) {
  RecordingWindow window;
  EXPECT_EQ(window.SetTimer(5, 1000), 5u);
  clock.Advance(999);
  EXPECT_EQ(Fired(window, 5), 0);
  clock.Advance(1);
  EXPECT_EQ(Fired(window, 5), 1);
  EXPECT_EQ(Fired(window, 5), 1) << "once per interval, not once per pump";
  clock.Advance(1000);
  EXPECT_EQ(Fired(window, 5), 2);
  EXPECT_TRUE(window.KillTimer(5));
  clock.Advance(5000);
  EXPECT_EQ(Fired(window, 5), 2);
  EXPECT_FALSE(window.KillTimer(5)) << "nothing left to kill";
}

TEST_F(Timers, SettingAnIdAgainStartsItsIntervalAfresh) {
  RecordingWindow window;
  window.SetTimer(2, 5000);
  clock.Advance(4000);
  window.SetTimer(2, 3000);
  clock.Advance(2999);
  EXPECT_EQ(Fired(window, 2), 0);
  clock.Advance(1);
  EXPECT_EQ(Fired(window, 2), 1);
}

TEST_F(Timers, TimersOfDifferentIdsAndWindowsAreSeparate) {
  RecordingWindow first;
  RecordingWindow second;
  first.SetTimer(0, 3000);
  second.SetTimer(0, 10000);
  first.SetTimer(5, 10000);
  clock.Advance(10000);
  EXPECT_EQ(Fired(first, 0), 1);
  EXPECT_EQ(Fired(first, 5), 1);
  EXPECT_EQ(Fired(second, 0), 1);
}

TEST_F(Timers, ADestroyedWindowTakesItsTimersWithIt) {
  auto window = std::make_unique<RecordingWindow>();
  window->SetTimer(1, 100);
  window.reset();
  EXPECT_FALSE(platform::NextTimerDue().has_value());
  clock.Advance(1000);
  EXPECT_EQ(platform::PumpPostedMessages(), 0);
}

// Kills another window's timer when its own fires, and may set it again at once.
class KillingWindow : public RecordingWindow {
 public:
  CWnd* victim = nullptr;
  bool setAgain = false;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER && victim) {
      victim->KillTimer(1);
      if (setAgain) victim->SetTimer(1, 1000);
    }
    return RecordingWindow::WindowProc(message, wParam, lParam);
  }
};

TEST_F(Timers, ATimerKilledOrSetAgainByAnEarlierHandlerOfTheSamePumpDoesNotFireThen) {
  for (const bool setAgain : {false, true}) {
    KillingWindow killer;
    RecordingWindow victim;
    killer.victim = &victim;
    killer.setAgain = setAgain;
    killer.SetTimer(1, 1000);
    victim.SetTimer(1, 1000);
    clock.Advance(1000);
    EXPECT_EQ(Fired(killer, 1), 1);
    EXPECT_EQ(Fired(victim, 1), 0) << "set again: " << setAgain;
    killer.KillTimer(1);
    clock.Advance(1000);
    EXPECT_EQ(Fired(victim, 1), setAgain ? 1 : 0) << "a new setting runs its own interval";
    victim.KillTimer(1);
  }
}

TEST_F(Timers, TheNextDueTimeIsTheEarliestTimer) {
  RecordingWindow window;
  window.SetTimer(1, 3000);
  window.SetTimer(2, 500);
  EXPECT_EQ(platform::NextTimerDue(), clock.NowMs() + 500);
  window.KillTimer(2);
  EXPECT_EQ(platform::NextTimerDue(), clock.NowMs() + 3000);
  window.KillTimer(1);
}

}  // namespace
