// The balloon's window shape on a real X server (Xvfb, started by on_x_display.sh) at the scale
// QT_SCALE_FACTOR sets: read back from the server, its edge is smooth in device pixels and on
// the ellipse, where the mask Qt makes from logical pixels is a staircase of the scale's steps.
#include <gtest/gtest.h>
#include <xcb/shape.h>

#include <QGuiApplication>
#include <QRegion>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "controls/balloon_tip.h"
#include "tests/controls/balloon_support.h"
#include "tests/support/widgets.h"

namespace {

using testing_support::WidgetOf;

// The window's bounding shape as the X server holds it, in device pixels.
QRegion ShapeOnTheServer(QWidget* window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11->connection();
  const auto cookie =
      xcb_shape_get_rectangles(connection, static_cast<xcb_window_t>(window->winId()), XCB_SHAPE_SK_BOUNDING);
  std::unique_ptr<xcb_shape_get_rectangles_reply_t, decltype(&std::free)> reply(
      xcb_shape_get_rectangles_reply(connection, cookie, nullptr), &std::free);
  QRegion shape;
  if (!reply) return shape;
  const xcb_rectangle_t* rectangles = xcb_shape_get_rectangles_rectangles(reply.get());
  for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(reply.get()); ++i) {
    shape += QRect(rectangles[i].x, rectangles[i].y, rectangles[i].width, rectangles[i].height);
  }
  return shape;
}

TEST(WindowShape, TheBalloonsShapeOnTheServerIsSmoothInDevicePixels) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run by on_x_display.sh";
  CBalloonTip balloon;
  balloon.m_nWidth = 150;
  ASSERT_TRUE(balloon.Create(nullptr));
  QWidget* window = WidgetOf(balloon);
  const qreal ratio = window->devicePixelRatioF();
  ASSERT_GT(ratio, 1.0) << "QT_SCALE_FACTOR sets the screen's scale";
  const QRegion shape = ShapeOnTheServer(window);
  ASSERT_FALSE(shape.isEmpty());

  const testing_support::BalloonEdge edge =
      testing_support::TopEdgeOfTheBody(ratio, [&](int x, int y) { return shape.contains(QPoint(x, y)); });
  EXPECT_LE(edge.step, 1) << "at " << ratio << "x";
  EXPECT_LE(edge.offEllipse, 2.0) << "at " << ratio << "x";
  EXPECT_TRUE(shape.contains(QPoint(qRound(2 * ratio), qRound(21 * ratio)))) << "the tail's tip";
  EXPECT_FALSE(shape.contains(QPoint(0, 0)));
}

}  // namespace
