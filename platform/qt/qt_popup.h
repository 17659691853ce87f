// A popup window of a class the program registers: borderless, over the other windows, and
// never taking the focus, so the window under the pointer keeps it.
#pragma once

#include <QWidget>

#include "platform/kernel/geometry.h"

namespace platform::qt {

class PopupWidget final : public QWidget {
 public:
  PopupWidget(const QRect& geometry, QWidget* owner);
};

}  // namespace platform::qt
