#include "platform/qt/qt_input.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include "platform/kernel/clock.h"
#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_dialog.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/messages.h"
#include "platform/user/window_messages.h"
#include "platform/user/wnd.h"

namespace platform::qt {
namespace {

UINT VirtualKey(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    default: return static_cast<UINT>(event.key() & 0xFFFF);
  }
}

// The message of a mouse event: moves and presses, what the windows here listen to; 0 for
// the buttons none listens to.
UINT MouseMessage(const QMouseEvent& mouse) {
  if (mouse.type() == QEvent::MouseMove) return WM_MOUSEMOVE;
  return mouse.button() == Qt::LeftButton ? WM_LBUTTONDOWN : mouse.button() == Qt::RightButton ? WM_RBUTTONDOWN : 0;
}

POINT ScreenPoint(const QPointF& global) {
  const QPoint at = global.toPoint();
  return POINT{at.x(), at.y()};
}

bool PreTranslate(MSG msg) {
  for (HWND window = msg.hwnd; window; window = ParentOf(window)) {
    CWnd* object = WindowFromHandle(window);
    if (object && object->PreTranslateMessage(&msg)) return true;
  }
  return false;
}

}  // namespace

bool InputHook::IsRepeat(const QEvent* event) {
  const auto* input = static_cast<const QInputEvent*>(event);
  QPointF place;
  int key = 0;
  if (event->type() == QEvent::KeyPress) {
    key = static_cast<const QKeyEvent*>(event)->key();
  } else {
    place = static_cast<const QMouseEvent*>(event)->globalPosition();
  }
  const bool repeat =
      event->type() == m_lastType && input->timestamp() == m_lastTimestamp && place == m_lastPlace && key == m_lastKey;
  m_lastType = event->type();
  m_lastTimestamp = input->timestamp();
  m_lastPlace = place;
  m_lastKey = key;
  return repeat;
}

bool InputHook::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::MouseMove && type != QEvent::MouseButtonPress) return false;
  if (!watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  const HWND target = HandleOfWidget(widget);
  if (!target || IsRepeat(event)) return false;

  if (type == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && (key->modifiers() & Qt::AltModifier)) {
      if (auto* dialog = dynamic_cast<DialogWidget*>(widget->window())) {
        dialog->ShowSystemMenu(dialog->mapToGlobal(QPoint(0, 0)));
        return true;
      }
    }
    return PreTranslate(MSG{target, WM_KEYDOWN, VirtualKey(*key), 0, GetTickCount(), ScreenPoint(QCursor::pos())});
  }
  const auto* mouse = static_cast<QMouseEvent*>(event);
  const UINT message = MouseMessage(*mouse);
  if (message == 0) return false;
  // Client coordinates of the target window, the widget under the pointer or the control it
  // is a part of.
  const QWidget* window = WidgetOfHandle(target);
  const QPoint at = window ? window->mapFromGlobal(mouse->globalPosition()).toPoint() : mouse->position().toPoint();
  const WPARAM held = (mouse->buttons() & Qt::LeftButton) ? MK_LBUTTON : 0;
  return PreTranslate(MSG{target, message, held, MAKELPARAM(static_cast<WORD>(at.x()), static_cast<WORD>(at.y())),
                          GetTickCount(), ScreenPoint(mouse->globalPosition())});
}

}  // namespace platform::qt
