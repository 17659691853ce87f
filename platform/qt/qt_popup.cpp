#include "platform/qt/qt_popup.h"

namespace platform::qt {

PopupWidget::PopupWidget(const QRect& geometry, QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
  setGeometry(geometry);
}

}  // namespace platform::qt
