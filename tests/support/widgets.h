// The Qt widget behind a window, for tests that act on a window as the window system would.
#pragma once

#include <QWidget>

#include "platform/qt/qt_backend.h"
#include "platform/user/wnd.h"

namespace testing_support {

template <class Widget = QWidget>
Widget* WidgetOf(HWND window) {
  return static_cast<Widget*>(platform::qt::WidgetOfHandle(window));
}

template <class Widget = QWidget>
Widget* WidgetOf(const CWnd& window) {
  return WidgetOf<Widget>(window.GetSafeHwnd());
}

}  // namespace testing_support
