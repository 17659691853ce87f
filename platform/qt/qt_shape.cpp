#include "platform/qt/qt_shape.h"

#include <xcb/shape.h>

#include <QGuiApplication>
#include <vector>

#include "platform/qt/qt_gdi.h"

namespace platform::qt {

void SetDeviceShape(QWidget* window, const Region& region) {
  // Qt answers the X interface on every platform; only on X does it lead to a connection.
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  const qreal ratio = window->devicePixelRatioF();
  if (QGuiApplication::platformName() != QLatin1String("xcb") || !x11 || !x11->connection() || ratio == 1) return;
  std::vector<xcb_rectangle_t> rectangles;
  for (const QRect& rect : ToQRegion(region, ratio)) {
    rectangles.push_back({static_cast<int16_t>(rect.x()), static_cast<int16_t>(rect.y()),
                          static_cast<uint16_t>(rect.width()), static_cast<uint16_t>(rect.height())});
  }
  // winId makes the native window if it is not there yet; Qt has set its own shape on it then.
  const auto id = static_cast<xcb_window_t>(window->winId());
  xcb_shape_rectangles(x11->connection(), XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0,
                       static_cast<uint32_t>(rectangles.size()), rectangles.data());
  xcb_flush(x11->connection());
}

}  // namespace platform::qt
