// The small dialogs, each driven as the operator would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

#include "platform/user/message_box.h"
#include "resources/resource.h"
#include "tests/support/modal_script.h"
#include "tests/support/widgets.h"
#include "ui/aux_dialogs.h"
#include "ui/downloader_dlg.h"

namespace {

using testing_support::WidgetOf;

using testing_support::ModalScript;

constexpr int kStillOpen = 4242;

bool YesEnabled(CDialog& dialog) { return dialog.GetDlgItem(IDOK)->IsWindowEnabled() != FALSE; }

void Type(CDialog& dialog, const char* keys) { QTest::keyClicks(WidgetOf(*dialog.GetDlgItem(IDC_CONFIRM_TEXT)), keys); }

TEST(BootAreaConfirm, YesIsEnabledOnlyWhileTheTextIsYesInAnyCase) {
  ModalScript script;
  script.Then([](CDialog& dialog) {
    WidgetOf(*dialog.GetDlgItem(IDC_CONFIRM_TEXT))->setFocus();
    EXPECT_FALSE(YesEnabled(dialog));
    Type(dialog, "y");
    EXPECT_FALSE(YesEnabled(dialog));
    Type(dialog, "ES");
    EXPECT_TRUE(YesEnabled(dialog)) << "yES";
    QTest::keyClick(WidgetOf(*dialog.GetDlgItem(IDC_CONFIRM_TEXT)), Qt::Key_Backspace);
    EXPECT_FALSE(YesEnabled(dialog)) << "one letter deleted";
    Type(dialog, "S ");
    EXPECT_FALSE(YesEnabled(dialog)) << "a trailing blank";
    QTest::keyClick(WidgetOf(*dialog.GetDlgItem(IDC_CONFIRM_TEXT)), Qt::Key_Backspace);
    EXPECT_TRUE(YesEnabled(dialog));
    return kStillOpen;
  });
  CBootAreaConfirmDlg dialog;
  EXPECT_EQ(dialog.DoModal(), kStillOpen);
  EXPECT_EQ(dialog.m_strConfirm, "yES");
}

TEST(BootAreaConfirm, EnterDoesNothingWhileYesIsDisabled) {
  ModalScript script;
  script.Then([](CDialog& dialog) {
    WidgetOf(*dialog.GetDlgItem(IDC_CONFIRM_TEXT))->setFocus();
    Type(dialog, "no");
    QTest::keyClick(WidgetOf(*dialog.GetDlgItem(IDC_CONFIRM_TEXT)), Qt::Key_Return);
    return kStillOpen;
  });
  CBootAreaConfirmDlg dialog;
  EXPECT_EQ(dialog.DoModal(), kStillOpen);
}

TEST(BootAreaConfirm, EnterPressesYesOnceItIsEnabled) {
  ModalScript script;
  script.Then([](CDialog& dialog) {
    WidgetOf(*dialog.GetDlgItem(IDC_CONFIRM_TEXT))->setFocus();
    Type(dialog, "Yes");
    QTest::keyClick(WidgetOf(*dialog.GetDlgItem(IDC_CONFIRM_TEXT)), Qt::Key_Return);
    return kStillOpen;
  });
  CBootAreaConfirmDlg dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST(BootAreaConfirm, EscapeAndNoBothCancel) {
  ModalScript script;
  script
      .Then([](CDialog& dialog) {
        Type(dialog, "yes");
        QTest::keyClick(WidgetOf(*dialog.GetDlgItem(IDC_CONFIRM_TEXT)), Qt::Key_Escape);
        return kStillOpen;
      })
      .Then([](CDialog& dialog) {
        Type(dialog, "yes");
        dialog.GetDlgItem(IDCANCEL)->SendMessage(BM_CLICK);
        return kStillOpen;
      });
  CBootAreaConfirmDlg first;
  EXPECT_EQ(first.DoModal(), IDCANCEL);
  CBootAreaConfirmDlg second;
  EXPECT_EQ(second.DoModal(), IDCANCEL);
}

TEST(BootAreaConfirm, HasNoCloseBox) {
  ModalScript script;
  script.Then([](CDialog& dialog) {
    EXPECT_FALSE(WidgetOf(dialog)->windowFlags() & Qt::WindowCloseButtonHint);
    CString caption;
    dialog.GetWindowText(caption);
    EXPECT_EQ(caption, "Change Boot Area");
    return kStillOpen;
  });
  CBootAreaConfirmDlg dialog;
  dialog.DoModal();
}

TEST(Retry, OkAndEnterRetryWhileCancelEscapeAndTheCloseBoxDoNot) {
  ModalScript script;
  script
      .Then([](CDialog& dialog) {
        dialog.GetDlgItem(IDOK)->SendMessage(BM_CLICK);
        return kStillOpen;
      })
      .Then([](CDialog& dialog) {
        QTest::keyClick(WidgetOf(dialog), Qt::Key_Return);
        return kStillOpen;
      })
      .Then([](CDialog& dialog) {
        dialog.GetDlgItem(IDCANCEL)->SendMessage(BM_CLICK);
        return kStillOpen;
      })
      .Then([](CDialog& dialog) {
        QTest::keyClick(WidgetOf(dialog), Qt::Key_Escape);
        return kStillOpen;
      })
      .Then([](CDialog& dialog) {
        WidgetOf(dialog)->close();
        return kStillOpen;
      });
  for (int expected : {IDOK, IDOK, IDCANCEL, IDCANCEL, IDCANCEL}) {
    CRetryDlg dialog;
    EXPECT_EQ(dialog.DoModal(), expected);
  }
  EXPECT_TRUE(script.Done());
}

TEST(ModeChange, ShowsCentredWithoutCaptionAndGoesWhenDestroyed) {
  CDownloaderDlg owner;
  ModalScript script;
  script.Then([&owner](CDialog&) {
    CModeChangeDlg& notice = owner.m_modeChangeDlg;
    EXPECT_TRUE(notice.Create(IDD_MODE_CHANGE, &owner));
    notice.ShowWindow(SW_SHOW);
    QWidget* widget = WidgetOf(*&notice);
    EXPECT_TRUE(widget->isVisible());
    EXPECT_TRUE(widget->windowFlags() & Qt::FramelessWindowHint);
    const QRect screen = widget->screen()->availableGeometry();
    EXPECT_LE(std::abs(widget->frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(widget->frameGeometry().center().y() - screen.center().y()), 1);
    EXPECT_FALSE(notice.GetDlgItem(IDC_MODE_CHANGE_TEXT)->IsWindowVisible());
    EXPECT_TRUE(notice.DestroyWindow());
    EXPECT_EQ(notice.GetSafeHwnd(), nullptr);
    // It can be shown again for the next run.
    EXPECT_TRUE(notice.Create(IDD_MODE_CHANGE, &owner));
    EXPECT_TRUE(notice.DestroyWindow());
    return kStillOpen;
  });
  owner.DoModal();
}

TEST(ModeChange, GoesWithItsOwnerWhenTheOwnerCloses) {
  CDownloaderDlg owner;
  ModalScript script;
  script.Then([&owner](CDialog&) {
    EXPECT_TRUE(owner.m_modeChangeDlg.Create(IDD_MODE_CHANGE, &owner));
    owner.m_modeChangeDlg.ShowWindow(SW_SHOW);
    return kStillOpen;
  });
  owner.DoModal();
  EXPECT_EQ(owner.m_modeChangeDlg.GetSafeHwnd(), nullptr) << "the notice went with the main dialog";
  EXPECT_FALSE(owner.m_modeChangeDlg.DestroyWindow());
}

TEST(Retry, EnterPressesTheButtonThatHasTheFocus) {
  ModalScript script;
  script.Then([](CDialog& dialog) {
    WidgetOf(*dialog.GetDlgItem(IDCANCEL))->setFocus();
    QTest::keyClick(WidgetOf(*dialog.GetDlgItem(IDCANCEL)), Qt::Key_Return);
    return kStillOpen;
  });
  CRetryDlg dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST(MessageBoxOverTheMainDialog, TakesEnterAndEscapeItself) {
  CDownloaderDlg owner;
  ModalScript script;
  int answer = 0;
  script.Then([&answer](CDialog&) {
    // Escape goes to the box; should the main dialog take it, the box is closed by hand later.
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    bool closedByHand = false;
    QTimer rescue;  // stopped with this scope, so it never fires into a later test
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [&closedByHand] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        closedByHand = true;
        box->done(QMessageBox::Ok);
      }
    });
    rescue.start(2000);
    answer = AfxMessageBox("Downloading completed\n0 min 5 sec", MB_OKCANCEL);
    EXPECT_FALSE(closedByHand);
    return kStillOpen;
  });
  owner.DoModal();
  EXPECT_EQ(answer, IDCANCEL);
}

}  // namespace
