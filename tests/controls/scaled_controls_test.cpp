// The self-drawn controls on a screen with more device pixels than logical ones, as a laptop's
// or a 4K desktop's scaling sets it: QT_SCALE_FACTOR comes from the test's environment (1.25,
// 1.5, 2). What is drawn is the 1x geometry times the scale, in the device's own pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <algorithm>

#include "platform/user/resources.h"
#include "resources/resource.h"
#include "tests/controls/balloon_support.h"
#include "tests/support/scoped_hive.h"
#include "tests/support/widgets.h"
#include "ui/downloader_dlg.h"

namespace {

using testing_support::WidgetOf;

bool IsColoured(const QColor& color) { return color.hsvSaturation() > 90 && color.value() > 60; }

// The box around the coloured pixels of an image, in its own pixels; the button's face, frame
// and text are grey.
QRect ColouredBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (IsColoured(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

class ScaledControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dialog.Create(IDD_DOWNLOADER_DIALOG));
    dialog.ShowWindow(SW_SHOW);
    ratio = WidgetOf(dialog)->devicePixelRatioF();
    ASSERT_GT(ratio, 1.0) << "QT_SCALE_FACTOR sets the screen's scale";
  }
  void TearDown() override {
    dialog.DestroyWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  testing_support::ScopedHive hive;
  CDownloaderDlg dialog;
  qreal ratio = 1;
};

// The Download button's 30-pixel icon sits where it does at 1x (20 pixels in, centred top to
// bottom) and is as large, both times the scale: its picture is the icon's largest image made
// that size, give or take a device pixel or two of smoothing.
TEST_F(ScaledControlsTest, TheIconOfTheDownloadButtonKeepsItsPlaceAndSize) {
  CWnd* download = dialog.GetDlgItem(IDC_DOWNLOAD);
  download->EnableWindow(TRUE);
  const QImage button = WidgetOf(*download)->grab().toImage();
  CRect client;
  download->GetClientRect(&client);

  const platform::IconResource* resource = platform::IconFromHandle(AfxLoadIcon(IDR_MAINFRAME));
  ASSERT_NE(resource, nullptr);
  const platform::IconImage& largest = resource->images.back();
  QImage source;
  ASSERT_TRUE(source.loadFromData(largest.png, static_cast<int>(largest.length), "PNG"));
  const int side = qRound(30 * ratio);
  const QImage ideal = source.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QRect expected = ColouredBox(ideal).translated(qRound(20 * ratio), qRound((client.Height() - 30) / 2 * ratio));

  const QRect drawn = ColouredBox(button);
  ASSERT_FALSE(drawn.isEmpty()) << "no icon";
  for (const auto& [what, got, want] :
       {std::tuple{"left", drawn.left(), expected.left()}, std::tuple{"top", drawn.top(), expected.top()},
        std::tuple{"right", drawn.right(), expected.right()},
        std::tuple{"bottom", drawn.bottom(), expected.bottom()}}) {
    EXPECT_NEAR(got, want, 2) << what << " at " << ratio << "x";
  }
}

// The balloon's edge is drawn in device pixels: along the top of its body, where the ellipse
// falls less than a pixel per column, the first row of the frame moves at most one device pixel
// from column to column, where a 1x edge blown up moves in steps of the scale; it stays on the
// ellipse; and it keeps its thickness.
TEST_F(ScaledControlsTest, TheBalloonsEdgeIsSmoothInDevicePixels) {
  testing_support::ShowPortHint(dialog);
  ASSERT_TRUE(dialog.m_balloon.IsWindowVisible());
  const QImage picture = WidgetOf(dialog.m_balloon)->grab().toImage();
  const QColor frame(131, 0, 250);
  const testing_support::BalloonEdge edge =
      testing_support::TopEdgeOfTheBody(ratio, [&](int x, int y) { return picture.pixelColor(x, y) == frame; });
  EXPECT_LE(edge.step, 1) << "at " << ratio << "x";
  EXPECT_LE(edge.offEllipse, 2.0) << "at " << ratio << "x";

  // The outline is as thick as at 1x in logical pixels (one at the top, two at the side), so
  // the scale's device pixels across, not one device pixel.
  const auto run = [&](QPoint at, QPoint step) {
    while (at.y() < picture.height() && at.x() >= 0 && picture.pixelColor(at) != frame) at += step;
    int length = 0;
    for (; at.y() < picture.height() && at.x() >= 0 && picture.pixelColor(at) == frame; at += step) ++length;
    return length;
  };
  const int middle = qRound((10 + 150) / 2.0 * ratio);
  EXPECT_EQ(run({middle, 0}, {0, 1}), qRound(1 * ratio)) << "top, at " << ratio << "x";
  EXPECT_EQ(run({picture.width() - 1, qRound(30 * ratio)}, {-1, 0}), qRound(2 * ratio)) << "side, at " << ratio << "x";
}

}  // namespace
