// While a modal box is open, posted messages and timers still reach their windows, as the
// download run relies on: its answers and time-outs arrive under the boxes it shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "platform/window_messages.h"
#include "tests/support/recording_window.h"

namespace {

using testing_support::RecordingWindow;

constexpr UINT WM_TEST = WM_USER + 9;

TEST(NestedDispatch, APostedMessageAndATimerAreHandledWhileAMessageBoxIsOpen) {
  platform::PumpPostedMessages();
  platform::ManualClock clock;
  platform::UseClock(&clock);
  RecordingWindow window;
  window.SetTimer(7, 3000);
  clock.Advance(3000);
  window.PostMessage(WM_TEST, 1, 2);

  // Counted without pumping: only the box's own loop may deliver them.
  const auto seen = [&window](UINT message) {
    return std::count_if(window.received.begin(), window.received.end(),
                         [message](const MSG& msg) { return msg.message == message; });
  };
  // The box stays up until both have arrived, then this closes it; at most 500 tries.
  int tries = 0;
  std::function<void()> closeWhenDone = [&] {
    const bool done = seen(WM_TEST) == 1 && seen(WM_TIMER) >= 1;
    QWidget* box = QApplication::activeModalWidget();
    if ((done || ++tries > 500) && box) {
      static_cast<QMessageBox*>(box)->accept();
      return;
    }
    QTimer::singleShot(1, closeWhenDone);
  };
  QTimer::singleShot(0, closeWhenDone);
  AfxMessageBox("Download Completed.");

  EXPECT_EQ(seen(WM_TEST), 1);
  EXPECT_GE(seen(WM_TIMER), 1);
  EXPECT_LE(tries, 500);
  window.KillTimer(7);
  platform::UseClock(nullptr);
}

}  // namespace
