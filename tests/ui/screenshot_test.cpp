// Pictures of every dialog as it first appears, for the documentation and for a person to
// look at: Korean text renders, nothing overlaps. They go to $FLASHGATE_SCREENSHOT_DIR
// (scripts/screenshots sets docs/screenshots), else to the test's working directory.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QWidget>
#include <cstdlib>

#include "platform/qt/qt_backend.h"
#include "resources/resource.h"
#include "tests/support/modal_script.h"
#include "tests/support/scoped_hive.h"
#include "ui/aux_dialogs.h"
#include "ui/downloader_dlg.h"

namespace {

using testing_support::ModalScript;

QString ScreenshotDir() {
  const char* dir = std::getenv("FLASHGATE_SCREENSHOT_DIR");
  const QString path = dir && *dir ? QString::fromUtf8(dir) : QDir::currentPath() + QStringLiteral("/screenshots");
  QDir().mkpath(path);
  return path;
}

// Saves the window as `name`.png and answers its size.
QSize Save(CWnd& window, const char* name) {
  QWidget* widget = platform::qt::WidgetOfHandle(window.GetSafeHwnd());
  const QImage image = widget->grab().toImage();
  EXPECT_TRUE(image.save(ScreenshotDir() + QStringLiteral("/") + QString::fromUtf8(name) + QStringLiteral(".png")));
  return image.size();
}

int Saving(CDialog& dialog, const char* name) {
  const QSize size = Save(dialog, name);
  EXPECT_GT(size.width(), 100);
  EXPECT_GT(size.height(), 40);
  ::testing::Test::RecordProperty(std::string(name) + "_size",
                                  std::to_string(size.width()) + "x" + std::to_string(size.height()));
  return IDCANCEL;
}

TEST(Screenshots, OfEveryDialog) {
  testing_support::ScopedHive hive;
  ModalScript script;
  script.Then([](CDialog& dialog) { return Saving(dialog, "main-dialog"); })
      .Then([](CDialog& dialog) { return Saving(dialog, "about"); })
      .Then([](CDialog& dialog) { return Saving(dialog, "boot-area-confirm"); })
      .Then([](CDialog& dialog) { return Saving(dialog, "retry"); });
  CDownloaderDlg main;
  main.DoModal();
  CAboutDlg about;
  about.DoModal();
  CBootAreaConfirmDlg confirm;
  confirm.DoModal();
  CRetryDlg retry;
  retry.DoModal();

  CModeChangeDlg notice;
  ASSERT_TRUE(notice.Create(IDD_MODE_CHANGE));
  notice.ShowWindow(SW_SHOW);
  Save(notice, "mode-change");
  notice.DestroyWindow();
  EXPECT_TRUE(script.Done());
}

}  // namespace
