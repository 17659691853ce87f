// Not a test: the pictures of every dialog in docs/screenshots, for the documentation and for a
// person to look at (Korean text renders, nothing overlaps). scripts/screenshots runs it with
// $FLASHGATE_SCREENSHOT_DIR naming the folder; without it nothing is written. The main dialog is
// shown in the middle of a download into the handset stand-in.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <functional>

#include "platform/user/device_change.h"
#include "resources/resource.h"
#include "tests/controls/balloon_support.h"
#include "tests/download/run_fixture.h"
#include "tests/support/widgets.h"
#include "ui/aux_dialogs.h"

namespace testing_support {
namespace {

QString ScreenshotDir() {
  const char* dir = std::getenv("FLASHGATE_SCREENSHOT_DIR");
  return dir && *dir ? QString::fromUtf8(dir) : QString();
}

// Writes `image` as `name`.png into the screenshot folder.
void SaveImage(const QImage& image, const char* name) {
  ASSERT_FALSE(ScreenshotDir().isEmpty()) << "FLASHGATE_SCREENSHOT_DIR names no folder";
  EXPECT_TRUE(image.save(ScreenshotDir() + QStringLiteral("/") + QString::fromUtf8(name) + QStringLiteral(".png")))
      << name;
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

// The window with its caption.
void Save(const CWnd& window, const char* name) {
  QWidget* widget = WidgetOf(window);
  SaveImage(WithCaption(*widget, widget->grab().toImage()), name);
}

int Saving(CDialog& dialog, const char* name) {
  Save(dialog, name);
  return IDCANCEL;
}

class Screenshots : public DownloadRun {
 protected:
  // A code image of twelve blocks downloading, 23 seconds in, the seventh block waiting for
  // its answer; then `shoot`.
  void AtTheSeventhBlock(const std::function<void()>& shoot) {
    handset_sim::Config config;
    config.faults = {handset_sim::FaultRule{handset_sim::Fault::Silence, 0, 13, 0.0}};
    StartHandset(config);
    const std::string path = WriteImage("phone-code.bin", MakeImage({"CODE", 12 * 8192}));
    RunDialog([&] {
      SelectCode(path);
      PressDownload();
      ASSERT_TRUE(PumpUntilRequests(8));
      clock.Advance(23000);
      ASSERT_TRUE(PumpUntilRequests(13));
      EXPECT_EQ(Title(), "58% Completed. - Flashgate");
      shoot();
    });
  }
};

TEST_F(Screenshots, OfTheMainDialogDuringADownload) {
  AtTheSeventhBlock([&] { Save(dialog, "main-dialog"); });
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

// The main dialog with the balloon, a window of its own over it, as the screen shows the two.
QImage WithBalloon(CDownloaderDlg& dialog) {
  QWidget* main = WidgetOf(dialog);
  QWidget* balloon = WidgetOf(dialog.m_balloon);
  QImage picture = main->grab().toImage();
  QPainter painter(&picture);
  painter.setClipRegion(balloon->mask().translated(main->mapFromGlobal(balloon->pos())));
  painter.drawImage(main->mapFromGlobal(balloon->pos()), balloon->grab().toImage());
  painter.end();
  return picture;
}

// Mid-run with the hint shown, at the screen's scale (QT_SCALE_FACTOR; scripts/screenshots
// makes it at 1x, 1.5x and 2x).
TEST_F(Screenshots, OfTheMainDialogDuringADownloadWithTheHint) {
  AtTheSeventhBlock([&] {
    const QWidget* combo = WidgetOf(*dialog.GetDlgItem(IDC_PORT));
    const QPoint at = combo->mapToGlobal(QPoint(combo->width() - 6, combo->height() / 2));
    ShowPortHint(dialog, {at.x(), at.y()});
    ASSERT_TRUE(dialog.m_balloon.IsWindowVisible());
    const qreal ratio = WidgetOf(dialog)->devicePixelRatioF();
    SaveImage(WithBalloon(dialog), ("main-dialog-at-" + QString::number(ratio) + "x").toUtf8().constData());
  });
}

// The Download button alone, in each state the operator meets it in.
void SaveButton(CWnd& button, const char* name) { SaveImage(WidgetOf(button)->grab().toImage(), name); }

TEST_F(Screenshots, OfTheDownloadButtonAndTheBalloon) {
  RunDialog([&] {
    CWnd* download = dialog.GetDlgItem(IDC_DOWNLOAD);
    SaveButton(*download, "download-disabled");
    download->EnableWindow(TRUE);
    SaveButton(*download, "download-enabled");
    auto* button = WidgetOf<QAbstractButton>(*download);
    button->setDown(true);
    SaveButton(*download, "download-pushed");
    button->setDown(false);

    QApplication::setActiveWindow(WidgetOf(dialog));
    QWidget* combo = WidgetOf(*dialog.GetDlgItem(IDC_PORT));
    QTest::mouseMove(combo, QPoint(combo->width() - 6, combo->height() / 2));
    ASSERT_TRUE(dialog.m_balloon.IsWindowVisible());
    SaveImage(WithBalloon(dialog), "balloon");
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
