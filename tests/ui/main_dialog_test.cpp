// The main dialog as the operator meets it: first start, settings, keys, menu and closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <fstream>

#include "platform/user/internal/window_table.h"
#include "platform/user/menu.h"
#include "platform/user/message_box.h"
#include "platform/user/messages.h"
#include "platform/user/window_backend.h"
#include "resources/resource.h"
#include "tests/support/modal_script.h"
#include "tests/support/scoped_hive.h"
#include "tests/support/widgets.h"
#include "ui/downloader_dlg.h"
#include "ui/settings.h"

namespace {

using testing_support::WidgetOf;

using testing_support::ModalScript;
using testing_support::ScopedHive;

constexpr int kStillOpen = 4242;

QWidget* Widget(CDialog& dialog, int id) { return id ? WidgetOf(*dialog.GetDlgItem(id)) : WidgetOf(dialog); }

CString Text(CDialog& dialog, int id) {
  CString text;
  dialog.GetDlgItem(id)->GetWindowText(text);
  return text;
}

int Selection(CDialog& dialog, int id) {
  return static_cast<int>(dialog.GetDlgItem(id)->SendMessage(CB_GETCURSEL, 0, 0));
}

// Runs the main dialog with `step` as the operator; answers what DoModal answered.
INT_PTR RunMainDialog(CDownloaderDlg& dialog, const ModalScript::Step& step) {
  ModalScript script;
  script.Then(step);
  return dialog.DoModal();
}

class MainDialog : public ::testing::Test {
 protected:
  ScopedHive hive;
  CDownloaderDlg dialog;
};

TEST_F(MainDialog, FirstStartShowsTheDefaultsAndOnlyTheFirstChoicesAreUsable) {
  RunMainDialog(dialog, [](CDialog& dlg) {
    CString title;
    dlg.GetWindowText(title);
    EXPECT_EQ(title, "Q517 Flashgate (ZP36)");
    EXPECT_EQ(Text(dlg, IDC_PORT), "COM1");
    EXPECT_EQ(Text(dlg, IDC_DOWNLOAD_TYPE), "EMERGENCY");
    EXPECT_TRUE(Text(dlg, IDC_CODE_PATH).IsEmpty());
    EXPECT_TRUE(Text(dlg, IDC_FONT_PATH).IsEmpty());
    for (int id : {IDC_CODE, IDC_PORT, IDC_LOG}) EXPECT_TRUE(dlg.GetDlgItem(id)->IsWindowEnabled()) << id;
    for (int id : {IDC_FONT, IDC_FONT_PATH, IDC_CHANGE_BOOT_AREA, IDC_FONT_ADDRESS, IDC_DOWNLOAD_TYPE, IDC_DOWNLOAD,
                   IDC_ADDRESS, IDC_ELAPSED, IDC_AUTO_DETECT, IDC_VERSION}) {
      EXPECT_FALSE(dlg.GetDlgItem(id)->IsWindowEnabled()) << id;
    }
    EXPECT_FALSE(dlg.GetDlgItem(IDC_AUTO_DETECT)->IsWindowVisible());
    EXPECT_FALSE(dlg.GetDlgItem(IDOK)->IsWindowVisible());
    EXPECT_TRUE(static_cast<QLineEdit*>(Widget(dlg, IDC_CODE_PATH))->isReadOnly());
    return kStillOpen;
  });
  EXPECT_FALSE(std::ifstream(hive.Path()).good()) << "reading the settings creates nothing";
}

struct StoredPort {
  const char* stored;  // VOD_PORT as the settings hold it
  int given;           // --port; 0 when not given
  int portNumber;
  const char* shown;
  bool refused;  // the stored port is refused with a red line
};

class StoredSettings : public ::testing::TestWithParam<StoredPort> {
 protected:
  ScopedHive hive;
};

// The combo shows the port the dialog starts with, whatever its number; a stored number that
// names no port is refused, never cut to one that does.
TEST_P(StoredSettings, ThePortComesFromTheStoreOrTheCommandLine) {
  const StoredPort expected = GetParam();
  WriteRegString(kPortValue, expected.stored);
  CDownloaderDlg dialog;
  Preselection pick;
  pick.port = expected.given;
  dialog.SetPreselection(pick);
  RunMainDialog(dialog, [expected](CDialog& dlg) {
    EXPECT_EQ(Text(dlg, IDC_PORT), expected.shown);
    const std::string refusal = std::string("The stored port (VOD_PORT \"") + expected.stored +
                                "\") is not one of COM1 to COM255 and is not used.";
    EXPECT_EQ(Text(dlg, IDC_LOG).str().find(refusal) != std::string::npos, expected.refused) << Text(dlg, IDC_LOG);
    return kStillOpen;
  });
  EXPECT_EQ(dialog.m_nPortNumber, expected.portNumber);
  EXPECT_EQ(dialog.m_nPortIndex, expected.portNumber - 1);
}

INSTANTIATE_TEST_SUITE_P(MainDialog, StoredSettings,
                         ::testing::Values(StoredPort{"7", 0, 7, "COM7", false},
                                           StoredPort{"20", 0, 20, "COM20", false}, StoredPort{"", 0, 1, "COM1", false},
                                           StoredPort{"100", 0, 100, "COM100", false},
                                           StoredPort{"259", 0, 1, "COM1", true}, StoredPort{"abc", 0, 1, "COM1", true},
                                           StoredPort{"0", 0, 1, "COM1", true},
                                           StoredPort{"3", 255, 255, "COM255", false},
                                           StoredPort{"259", 21, 21, "COM21", true}));

// Each download type is the combo's item in its place, stored by its value the moment it is
// chosen and selected again from that value; a stored value of no type selects nothing.
TEST_F(MainDialog, EachDownloadTypeIsStoredByItsValueAndShownFromIt) {
  struct Type {
    const char* item;
    int stored;
  };
  const Type types[] = {{"EMERGENCY", 0}, {"NORMAL", 1}};
  RunMainDialog(dialog, [&types](CDialog& dlg) {
    auto* combo = static_cast<QComboBox*>(Widget(dlg, IDC_DOWNLOAD_TYPE));
    EXPECT_EQ(combo->count(), static_cast<int>(std::size(types)));
    combo->setEnabled(true);
    for (const int place : {1, 0}) {
      EXPECT_EQ(combo->itemText(place).toStdString(), types[place].item);
      combo->setCurrentIndex(place);
      emit combo->activated(place);
      EXPECT_EQ(ReadRegInt(kDownloadTypeValue, -1), types[place].stored) << types[place].item;
    }
    return kStillOpen;
  });

  const std::pair<const char*, int> selections[] = {{"0", 0}, {"1", 1}, {"", 0}, {"2", -1}, {"-1", -1}};
  for (const auto& [stored, selection] : selections) {
    WriteRegString(kDownloadTypeValue, stored);
    CDownloaderDlg reopened;
    RunMainDialog(reopened, [stored = stored, selection = selection](CDialog& dlg) {
      EXPECT_EQ(Selection(dlg, IDC_DOWNLOAD_TYPE), selection) << '"' << stored << '"';
      return kStillOpen;
    });
  }
}

TEST_F(MainDialog, TextTypedIntoThePortFieldChangesNoSelection) {
  RunMainDialog(dialog, [](CDialog& dlg) -> int {
    auto* combo = static_cast<QComboBox*>(Widget(dlg, IDC_PORT));
    EXPECT_TRUE(combo->isEditable()) << "a drop-down with an edit field";
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "COM9x");
    EXPECT_EQ(Selection(dlg, IDC_PORT), 0);
    return kStillOpen;
  });
  EXPECT_EQ(dialog.m_nPortIndex, 0);
  EXPECT_EQ(ReadRegString(kPortValue), "") << "nothing was stored";
}

TEST_F(MainDialog, EnterAndEscapeDoNothingAnywhere) {
  const INT_PTR result = RunMainDialog(dialog, [](CDialog& dlg) {
    for (int id : {0, IDC_LOG, IDC_CODE, IDC_PORT}) {
      QTest::keyClick(Widget(dlg, id), Qt::Key_Escape);
      QTest::keyClick(Widget(dlg, id), Qt::Key_Return);
      QTest::keyClick(Widget(dlg, id), Qt::Key_Enter);
    }
    return kStillOpen;
  });
  EXPECT_EQ(result, kStillOpen) << "no key ended the dialog";
}

TEST_F(MainDialog, TheFontAddressFollowsEveryKeystroke) {
  RunMainDialog(dialog, [this](CDialog& dlg) {
    dlg.GetDlgItem(IDC_FONT_ADDRESS)->EnableWindow(TRUE);
    QWidget* edit = Widget(dlg, IDC_FONT_ADDRESS);
    edit->setFocus();
    const char* const typed[] = {"1", "12", "12a", "12aB"};
    for (const char* expected : typed) {
      QTest::keyClick(edit, expected[std::strlen(expected) - 1]);
      EXPECT_EQ(dialog.m_strFontAddress, expected);
    }
    return kStillOpen;
  });
}

TEST_F(MainDialog, TheSystemMenuEndsWithTheAboutEntryWhichOpensTheAboutBox) {
  ModalScript script;
  script
      .Then([](CDialog& dlg) {
        const platform::MenuData* menu = platform::SystemMenuOf(dlg.GetSafeHwnd());
        EXPECT_EQ(menu->items.size(), 2u);
        EXPECT_TRUE(menu->items[0].flags & MF_SEPARATOR);
        EXPECT_EQ(menu->items[1].id, static_cast<UINT_PTR>(IDM_ABOUTBOX));
        EXPECT_EQ(menu->items[1].text, "Flashgate 정보(&A)...");
        dlg.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        return kStillOpen;
      })
      .Then([](CDialog& about) {
        EXPECT_EQ(about.GetTemplateId(), static_cast<UINT>(IDD_ABOUTBOX));
        CString caption;
        about.GetWindowText(caption);
        EXPECT_EQ(caption, "About ...");
        about.GetDlgItem(IDOK)->SendMessage(BM_CLICK);
        return kStillOpen;
      });
  dialog.DoModal();
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(script.unexpected, 0);
}

TEST_F(MainDialog, ShownAgainItHasItsAboutEntryOnceMore) {
  for (int round = 0; round < 2; ++round) {
    RunMainDialog(dialog, [](CDialog& dlg) {
      EXPECT_EQ(platform::SystemMenuOf(dlg.GetSafeHwnd())->items.size(), 2u);
      return kStillOpen;
    });
  }
}

TEST_F(MainDialog, TheContextMenuIsTheSystemMenuAndItsAboutEntryWorks) {
  QStringList entries;
  ModalScript script;
  script
      .Then([&entries](CDialog& dlg) {
        // The menu runs a loop of its own: read it and choose from inside that loop.
        QTimer::singleShot(0, [&entries] {
          auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
          if (!menu) return;
          for (QAction* action : menu->actions())
            entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
          menu->actions().last()->trigger();
          menu->close();
        });
        QWidget* surface = Widget(dlg, 0);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), surface->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(surface, &click);
        return kStillOpen;
      })
      .Then([](CDialog& about) {
        EXPECT_EQ(about.GetTemplateId(), static_cast<UINT>(IDD_ABOUTBOX));
        return static_cast<int>(IDOK);
      });
  dialog.DoModal();
  EXPECT_EQ(entries, (QStringList{QStringLiteral("Minimize"), QStringLiteral("Close"), QStringLiteral("-"),
                                  QStringLiteral("Flashgate 정보(&A)...")}));
  EXPECT_TRUE(script.Done());
}

TEST_F(MainDialog, TheCloseBoxEndsTheDialogWithItsValuesRead) {
  const INT_PTR result = RunMainDialog(dialog, [](CDialog& dlg) {
    dlg.GetDlgItem(IDC_FONT_ADDRESS)->SetWindowText("1A0000");
    Widget(dlg, 0)->close();
    return kStillOpen;
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(dialog.m_strFontAddress, "1A0000");
}

TEST_F(MainDialog, APressOnAFreeSpotStartsAWindowMove) {
  RunMainDialog(dialog, [](CDialog& dlg) {
    QTest::mousePress(Widget(dlg, 0), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    MSG msg{};
    EXPECT_TRUE(PeekMessage(&msg, dlg.GetSafeHwnd(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, HTCAPTION);
    EXPECT_EQ(msg.lParam, MAKELPARAM(5, 5));
    platform::PumpPostedMessages();
    QTest::mouseRelease(Widget(dlg, 0), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    return kStillOpen;
  });
}

TEST_F(MainDialog, EnableControlsLocksAndUnlocksWhatTheSelectionAllows) {
  RunMainDialog(dialog, [this](CDialog& dlg) {
    dialog.EnableControls(true);
    for (int id : {IDC_CODE, IDC_FONT, IDC_DOWNLOAD_TYPE, IDC_PORT}) {
      EXPECT_TRUE(dlg.GetDlgItem(id)->IsWindowEnabled()) << id;
    }
    EXPECT_FALSE(dlg.GetDlgItem(IDC_DOWNLOAD)->IsWindowEnabled()) << "no image to send";
    EXPECT_FALSE(dlg.GetDlgItem(IDC_CHANGE_BOOT_AREA)->IsWindowEnabled()) << "no code image is selected";
    EXPECT_FALSE(dlg.GetDlgItem(IDC_FONT_ADDRESS)->IsWindowEnabled()) << "no font image is selected";

    dialog.m_bCodeSelected = 1;
    dialog.m_bFontSelected = 1;
    dialog.EnableControls(true);
    EXPECT_TRUE(dlg.GetDlgItem(IDC_DOWNLOAD)->IsWindowEnabled());
    EXPECT_TRUE(dlg.GetDlgItem(IDC_CHANGE_BOOT_AREA)->IsWindowEnabled());
    EXPECT_TRUE(dlg.GetDlgItem(IDC_FONT_ADDRESS)->IsWindowEnabled());
    dialog.EnableControls(false);
    for (int id :
         {IDC_CODE, IDC_FONT, IDC_DOWNLOAD, IDC_DOWNLOAD_TYPE, IDC_PORT, IDC_CHANGE_BOOT_AREA, IDC_FONT_ADDRESS}) {
      EXPECT_FALSE(dlg.GetDlgItem(id)->IsWindowEnabled()) << id;
    }
    EXPECT_TRUE(dlg.GetDlgItem(IDC_LOG)->IsWindowEnabled()) << "the log stays readable";

    dialog.m_bCodeSelected = 0;
    dialog.m_bFontSelected = 0;
    dialog.UpdateDownloadButton();
    EXPECT_FALSE(dlg.GetDlgItem(IDC_DOWNLOAD)->IsWindowEnabled());
    dialog.m_bFontSelected = 1;
    dialog.UpdateDownloadButton();
    EXPECT_TRUE(dlg.GetDlgItem(IDC_DOWNLOAD)->IsWindowEnabled());
    return kStillOpen;
  });
}

}  // namespace
