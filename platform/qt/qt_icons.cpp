#include "platform/qt/qt_icons.h"

#include <QPixmap>

namespace platform::qt {

QIcon ToQIcon(HICON icon) {
  QIcon result;
  const IconResource* resource = IconFromHandle(icon);
  if (!resource) return result;
  for (const IconImage& image : resource->images) {
    QPixmap pixmap;
    if (pixmap.loadFromData(image.png, static_cast<uint>(image.length), "PNG")) result.addPixmap(pixmap);
  }
  return result;
}

}  // namespace platform::qt
