// Keyboard and mouse input as PreTranslateMessage sees it: once per event, with the window
// directly under the pointer as the target, the pointer in screen coordinates, the right
// button as its own message, and moves without a button held.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include "platform/user/internal/window_table.h"
#include "platform/user/messages.h"
#include "resources/resource.h"
#include "tests/support/modal_script.h"
#include "tests/support/scoped_hive.h"
#include "tests/support/widgets.h"
#include "ui/downloader_dlg.h"

namespace {

using testing_support::WidgetOf;

// The main dialog, with what it is offered recorded.
class WatchedDialog : public CDownloaderDlg {
 public:
  BOOL PreTranslateMessage(MSG* msg) override {
    if (msg->message == WM_MOUSEMOVE || msg->message == WM_LBUTTONDOWN || msg->message == WM_RBUTTONDOWN) {
      seen.push_back(*msg);
    }
    return CDownloaderDlg::PreTranslateMessage(msg);
  }
  std::vector<MSG> seen;
};

TEST(Input, ReachesPreTranslateMessageOnceWithItsTargetAndScreenPoint) {
  testing_support::ScopedHive hive;
  testing_support::ModalScript script;
  WatchedDialog dialog;
  script.Then([&dialog](CDialog&) -> int {
    const HWND combo = dialog.GetDlgItem(IDC_PORT)->GetSafeHwnd();
    const HWND field = platform::ChildById(combo, 1001);
    EXPECT_NE(field, nullptr) << "the combo's edit field is a window of its own";
    if (!field) return IDCANCEL;
    const HWND label = platform::ChildById(dialog.GetSafeHwnd(), IDC_PORT_LABEL);

    QTest::mouseMove(WidgetOf(field), QPoint(5, 4));
    QTest::mousePress(WidgetOf(label), Qt::RightButton, Qt::NoModifier, QPoint(3, 2));
    QTest::mousePress(WidgetOf(label), Qt::LeftButton, Qt::NoModifier, QPoint(3, 2));
    QTest::mouseRelease(WidgetOf(label), Qt::LeftButton, Qt::NoModifier, QPoint(3, 2));

    EXPECT_EQ(dialog.seen.size(), 3u) << "a label leaves a press to the dialog: still one message each";
    if (dialog.seen.size() != 3) return IDCANCEL;
    EXPECT_EQ(dialog.seen[0].message, WM_MOUSEMOVE);
    EXPECT_EQ(dialog.seen[0].hwnd, field);
    EXPECT_EQ(dialog.seen[0].wParam, 0u) << "no button held";
    const QPoint screen = WidgetOf(field)->mapToGlobal(QPoint(5, 4));
    EXPECT_EQ(dialog.seen[0].pt.x, screen.x());
    EXPECT_EQ(dialog.seen[0].pt.y, screen.y());
    EXPECT_EQ(dialog.seen[1].message, WM_RBUTTONDOWN);
    EXPECT_EQ(dialog.seen[1].hwnd, label);
    EXPECT_EQ(dialog.seen[2].message, WM_LBUTTONDOWN);
    return IDCANCEL;
  });
  dialog.DoModal();
}

}  // namespace
