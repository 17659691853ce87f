// Modal loops inside handlers, as the download run opens them: posted messages and timers
// still reach their windows under a box, owned windows sit on their owner, and windows that
// go away inside one of their own events or loops leave nothing dangling. Every loop here is
// the window system's real one; a fallback timer closes whatever a fault would leave open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "platform/kernel/clock.h"
#include "platform/qt/qt_backend.h"
#include "platform/user/app.h"
#include "platform/user/message_box.h"
#include "platform/user/messages.h"
#include "platform/user/window_messages.h"
#include "resources/resource.h"
#include "tests/support/recording_window.h"
#include "tests/support/widgets.h"
#include "ui/aux_dialogs.h"

namespace {

using testing_support::WidgetOf;

using testing_support::RecordingWindow;

constexpr UINT WM_TEST = WM_USER + 9;
constexpr int kFallbackMs = 3000;

// Closes the modal box or dialog on top, if any.
void CloseActiveModal() {
  if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
    box->accept();
  } else if (QWidget* modal = QApplication::activeModalWidget()) {
    ::SendMessage(platform::qt::HandleOfWidget(modal), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
}

// Runs `check` once the window system is in the modal loop about to start.
void Soon(std::function<void()> check) { QTimer::singleShot(0, std::move(check)); }

class NestedDispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    // Whatever earlier tests left for the pump is done before this one starts.
    QCoreApplication::processEvents();
    platform::PumpPostedMessages();
    platform::UseClock(&clock);
  }
  void TearDown() override {
    platform::UseClock(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  platform::ManualClock clock;
};

TEST_F(NestedDispatch, APostedMessageAndATimerAreHandledWhileAMessageBoxIsOpen) {
  RecordingWindow window;
  window.SetTimer(7, 3000);
  clock.Advance(3000);
  window.PostMessage(WM_TEST, 1, 2);

  // Counted without pumping: only the box's own loop may deliver them.
  const auto seen = [&window](UINT message) {
    return std::count_if(window.received.begin(), window.received.end(),
                         [message](const MSG& msg) { return msg.message == message; });
  };
  int tries = 0;
  std::function<void()> closeWhenDone = [&] {
    if ((seen(WM_TEST) == 1 && seen(WM_TIMER) >= 1) || ++tries > 500) return CloseActiveModal();
    QTimer::singleShot(1, closeWhenDone);
  };
  Soon(closeWhenDone);
  AfxMessageBox("Download Completed.");

  EXPECT_EQ(seen(WM_TEST), 1);
  EXPECT_GE(seen(WM_TIMER), 1);
  EXPECT_LE(tries, 500);
  window.KillTimer(7);
}

// Opens a box when its first timer fires; a second timer closes it.
class BoxOnTimer : public RecordingWindow {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    RecordingWindow::WindowProc(message, wParam, lParam);
    if (message != WM_TIMER) return 0;
    // The first is killed only after its box: nothing but the pump's own timer may wake it.
    if (wParam == 2) KillTimer(wParam);
    if (wParam == 1 && !inBox) {
      inBox = true;
      clock->Advance(5);  // the second timer is due while the box is open
      AfxMessageBox("first");
      closedByBox = secondFiredInBox;
      KillTimer(wParam);
      done();
    } else if (wParam == 2) {
      secondFiredInBox = QApplication::activeModalWidget() != nullptr;
      CloseActiveModal();
    }
    return 0;
  }

  platform::ManualClock* clock = nullptr;
  std::function<void()> done;
  bool inBox = false;
  bool secondFiredInBox = false;
  bool closedByBox = false;
};

TEST_F(NestedDispatch, TimersKeepRunningUnderABoxThatATimerHandlerOpened) {
  BoxOnTimer window;
  window.clock = &clock;
  QEventLoop loop;
  window.done = [&loop] { loop.quit(); };
  QTimer::singleShot(kFallbackMs, CloseActiveModal);
  QTimer::singleShot(2 * kFallbackMs, &loop, &QEventLoop::quit);
  window.SetTimer(1, 1);
  window.SetTimer(2, 5);
  clock.Advance(1);
  loop.exec();
  EXPECT_TRUE(window.closedByBox) << "the second timer never fired under the box";
}

TEST_F(NestedDispatch, DialogsAndBoxesWithoutAnOwnerBelongToTheMainWindowAndSitOnIt) {
  CAboutDlg main;
  ASSERT_TRUE(main.Create(IDD_ABOUTBOX));
  main.ShowWindow(SW_SHOW);
  CWinApp app;
  app.m_pMainWnd = &main;

  QWidget* retryWidget = nullptr;
  QWidget* retryParent = nullptr;
  QWidget* boxParent = nullptr;
  QPoint retryCentre;
  Soon([&] {
    retryWidget = QApplication::activeModalWidget();
    retryParent = retryWidget->parentWidget();
    retryCentre = retryWidget->geometry().center();
    // A box opened inside the retry dialog sits on that dialog, the window it came from.
    Soon([&] {
      boxParent = QApplication::activeModalWidget()->parentWidget();
      CloseActiveModal();
    });
    AfxMessageBox("inside");
    CloseActiveModal();
  });
  QTimer::singleShot(kFallbackMs, CloseActiveModal);
  CRetryDlg retry;
  retry.DoModal();

  EXPECT_EQ(retryParent, WidgetOf(main));
  EXPECT_EQ(boxParent, retryWidget);
  const QPoint mainCentre = WidgetOf(main)->geometry().center();
  EXPECT_LE((retryCentre - mainCentre).manhattanLength(), 4) << "centred on the main window";

  // Outside any modal loop, a box belongs to the main window itself.
  Soon([&] {
    boxParent = QApplication::activeModalWidget()->parentWidget();
    CloseActiveModal();
  });
  AfxMessageBox("outside");
  EXPECT_EQ(boxParent, WidgetOf(main));
}

// A modeless dialog whose OK button destroys it: the button's own click is still on the stack.
class SelfDestroyingDlg : public CDialog {
 public:
  SelfDestroyingDlg() : CDialog(IDD_RETRY) {}
  void OnOK() override { DestroyWindow(); }
};

TEST_F(NestedDispatch, ADialogDestroyedFromItsOwnButtonGoesOnceTheClickHasReturned) {
  SelfDestroyingDlg dialog;
  ASSERT_TRUE(dialog.Create(IDD_RETRY));
  dialog.ShowWindow(SW_SHOW);
  const QPointer<QWidget> widget = WidgetOf(dialog);
  const HWND window = dialog.GetSafeHwnd();

  QTest::mouseClick(WidgetOf(*dialog.GetDlgItem(IDOK)), Qt::LeftButton);
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(widget.isNull()) << "still in use by its click";
  EXPECT_FALSE(widget->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(widget.isNull());
}

TEST_F(NestedDispatch, AModalDialogWhoseOwnerIsDestroyedEndsItsLoopFirst) {
  CAboutDlg owner;
  ASSERT_TRUE(owner.Create(IDD_ABOUTBOX));
  CWinApp app;
  app.m_pMainWnd = &owner;
  Soon([&owner] { owner.DestroyWindow(); });
  QTimer::singleShot(kFallbackMs, CloseActiveModal);

  CRetryDlg retry;
  EXPECT_EQ(retry.DoModal(), -1);
  EXPECT_EQ(retry.GetSafeHwnd(), nullptr);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
