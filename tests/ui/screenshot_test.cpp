// Pictures of every dialog, for the documentation and for a person to look at: Korean text
// renders, nothing overlaps. The main dialog is shown in the middle of a download into the
// handset stand-in. They go to $FLASHGATE_SCREENSHOT_DIR (scripts/screenshots sets
// docs/screenshots), else to the test's working directory.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QWidget>
#include <cstdlib>

#include "platform/qt/qt_backend.h"
#include "platform/user/device_change.h"
#include "resources/resource.h"
#include "tests/download/run_fixture.h"
#include "ui/aux_dialogs.h"

namespace testing_support {
namespace {

QString ScreenshotDir() {
  const char* dir = std::getenv("FLASHGATE_SCREENSHOT_DIR");
  const QString path = dir && *dir ? QString::fromUtf8(dir) : QDir::currentPath() + QStringLiteral("/screenshots");
  QDir().mkpath(path);
  return path;
}

// The off-screen display has no window manager: a window with a caption gets its title bar
// drawn from its title and icon, so the picture shows what the operator reads there.
QImage WithCaption(const QWidget& widget, const QImage& client) {
  if (widget.windowFlags() & Qt::FramelessWindowHint) return client;
  constexpr int kBar = 26;
  QImage framed(client.width(), client.height() + kBar, QImage::Format_ARGB32);
  framed.fill(QColor(0x2B, 0x57, 0x97));
  QPainter painter(&framed);
  widget.windowIcon().paint(&painter, 5, 5, 16, 16);
  painter.setPen(Qt::white);
  painter.setFont(widget.font());
  painter.drawText(QRect(26, 0, client.width() - 30, kBar), Qt::AlignVCenter, widget.windowTitle());
  painter.drawImage(0, kBar, client);
  return framed;
}

// Saves the window as `name`.png and answers its size.
QSize Save(const CWnd& window, const char* name) {
  const QWidget* widget = platform::qt::WidgetOfHandle(window.GetSafeHwnd());
  const QImage image = WithCaption(*widget, const_cast<QWidget*>(widget)->grab().toImage());
  EXPECT_TRUE(image.save(ScreenshotDir() + QStringLiteral("/") + QString::fromUtf8(name) + QStringLiteral(".png")));
  EXPECT_GT(image.width(), 100);
  EXPECT_GT(image.height(), 40);
  return image.size();
}

int Saving(CDialog& dialog, const char* name) {
  Save(dialog, name);
  return IDCANCEL;
}

class Screenshots : public DownloadRun {};

TEST_F(Screenshots, OfTheMainDialogDuringADownload) {
  using handset_sim::Fault;
  handset_sim::Config config;
  config.faults = {handset_sim::FaultRule{Fault::Silence, 0, 13, 0.0}};  // the seventh block waits
  StartHandset(config);
  const std::string path = WriteImage("phone-code.bin", MakeImage({"CODE", 12 * 8192}));
  RunDialog([&] {
    SelectCode(path);
    PressDownload();
    ASSERT_TRUE(PumpUntilRequests(8));
    clock.Advance(23000);
    ASSERT_TRUE(PumpUntilRequests(13));
    EXPECT_EQ(Title(), "58% Completed. - Flashgate");
    Save(dialog, "main-dialog");
  });
}

TEST_F(Screenshots, OfTheMainDialogWithADetectedPort) {
  TempDir devices;
  ASSERT_TRUE(platform::StartDeviceNotifications(devices.Path(), ports.Directory()));
  RunDialog([&] {
    handset_sim::Config config;
    config.port = 7;
    handset = std::make_unique<handset_sim::Simulator>(config);
    std::string error;
    ASSERT_TRUE(handset->Start(&error)) << error;
    ASSERT_TRUE(PumpUntil([&] { return dialog.m_strAutoDetect == "Auto Detect [COM7]"; }));
    Save(dialog, "auto-detect");
  });
  platform::StopDeviceNotifications();
}

// The Download button alone, in each state the operator meets it in.
void SaveButton(CWnd& button, const char* name) {
  const QImage image = platform::qt::WidgetOfHandle(button.GetSafeHwnd())->grab().toImage();
  EXPECT_TRUE(image.save(ScreenshotDir() + QStringLiteral("/") + QString::fromUtf8(name) + QStringLiteral(".png")));
}

TEST_F(Screenshots, OfTheDownloadButtonAndTheBalloon) {
  RunDialog([&] {
    CWnd* download = dialog.GetDlgItem(IDC_DOWNLOAD);
    SaveButton(*download, "download-disabled");
    download->EnableWindow(TRUE);
    SaveButton(*download, "download-enabled");
    auto* button = static_cast<QAbstractButton*>(platform::qt::WidgetOfHandle(download->GetSafeHwnd()));
    button->setDown(true);
    SaveButton(*download, "download-pushed");
    button->setDown(false);

    // The balloon is a window of its own over the dialog: the picture puts the two together
    // as the screen shows them.
    QWidget* main = platform::qt::WidgetOfHandle(dialog.GetSafeHwnd());
    QApplication::setActiveWindow(main);
    QWidget* combo = platform::qt::WidgetOfHandle(dialog.GetDlgItem(IDC_PORT)->GetSafeHwnd());
    QTest::mouseMove(combo, QPoint(combo->width() - 6, combo->height() / 2));
    QWidget* balloon = platform::qt::WidgetOfHandle(dialog.m_balloon.GetSafeHwnd());
    ASSERT_TRUE(balloon->isVisible());
    QImage picture = main->grab().toImage();
    QPainter painter(&picture);
    painter.setClipRegion(balloon->mask().translated(main->mapFromGlobal(balloon->pos())));
    painter.drawImage(main->mapFromGlobal(balloon->pos()), balloon->grab().toImage());
    painter.end();
    EXPECT_TRUE(picture.save(ScreenshotDir() + QStringLiteral("/balloon.png")));
  });
}

TEST_F(Screenshots, OfTheSmallDialogs) {
  script.Then([](CDialog& dialog) { return Saving(dialog, "about"); })
      .Then([](CDialog& dialog) { return Saving(dialog, "boot-area-confirm"); })
      .Then([](CDialog& dialog) { return Saving(dialog, "retry"); });
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
}

}  // namespace
}  // namespace testing_support
