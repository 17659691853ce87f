#include "platform/qt/qt_backend.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QWindow>
#include <cstring>

#include "platform/gdi/gdi.h"
#include "platform/qt/qt_gdi.h"
#include "platform/qt/qt_shape.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/messages.h"
#include "platform/user/window_messages.h"

namespace platform::qt {
namespace {

constexpr const char* kHandleProperty = "flashgateHwnd";

}  // namespace

HWND HandleOfWidget(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget()) {
    const QVariant value = w->property(kHandleProperty);
    if (value.isValid()) return reinterpret_cast<HWND>(value.value<quintptr>());
    // A window of the toolkit's own (a message box, a menu) is no part of its owner.
    if (w->isWindow()) return nullptr;
  }
  return nullptr;
}

void SetHandleOfWidget(QWidget* widget, HWND window) {
  widget->setProperty(kHandleProperty, QVariant::fromValue(reinterpret_cast<quintptr>(window)));
}

QWidget* WidgetOfHandle(HWND window) {
  auto* backend = dynamic_cast<WidgetBackend*>(BackendOf(window));
  return backend ? backend->Widget() : nullptr;
}

void RaiseWidget(QWidget* widget) {
  if (QGuiApplication::platformName() != QStringLiteral("offscreen")) widget->raise();
}

QString FromUtf8(const char* text) { return QString::fromUtf8(text ? text : ""); }

LRESULT WidgetBackend::ClassProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: m_classPaints = true; return 0;
    // The widget lies on its dialog's painting already: that is the background.
    case WM_ERASEBKGND: return 0;
    case WM_SETTEXT: SetText(FromUtf8(reinterpret_cast<const char*>(lParam))); return TRUE;
    case WM_CONTEXTMENU: {
      // A child window passes the request on to its parent, as the default procedure does.
      if (!m_widget || m_widget->isWindow() || !m_widget->parentWidget()) return 0;
      const HWND parent = HandleOfWidget(m_widget->parentWidget());
      return parent ? ::SendMessage(parent, message, wParam, lParam) : 0;
    }
    case WM_GETTEXTLENGTH: return Text().toUtf8().size();
    case WM_GETTEXT: {
      if (wParam == 0) return 0;
      const QByteArray text = Text().toUtf8();
      const std::size_t copied = std::min<std::size_t>(static_cast<std::size_t>(text.size()), wParam - 1);
      char* buffer = reinterpret_cast<char*>(lParam);
      std::memcpy(buffer, text.constData(), copied);
      buffer[copied] = '\0';
      return static_cast<LRESULT>(copied);
    }
    default: return 0;
  }
}

void WidgetBackend::Enable(bool enable) {
  if (m_widget) m_widget->setEnabled(enable);
}

bool WidgetBackend::IsEnabled() const {
  if (!m_widget) return false;
  // A window's own state, whatever its parent's, as IsWindowEnabled reports it on Windows.
  return !m_widget->testAttribute(Qt::WA_Disabled);
}

void WidgetBackend::Show(int command) {
  if (!m_widget) return;
  switch (command) {
    case SW_HIDE: m_widget->hide(); break;
    case SW_SHOWNOACTIVATE:
      m_widget->setAttribute(Qt::WA_ShowWithoutActivating);
      m_widget->show();
      break;
    default: m_widget->show(); break;
  }
}

bool WidgetBackend::IsVisible() const { return m_widget && m_widget->isVisible(); }

bool WidgetBackend::IsIconic() const { return m_widget && m_widget->isMinimized(); }

void WidgetBackend::SetFocus() {
  if (m_widget) m_widget->setFocus(Qt::OtherFocusReason);
}

void WidgetBackend::SetWindowPos(int x, int y, int cx, int cy, UINT flags) {
  if (!m_widget) return;
  if (!(flags & SWP_NOMOVE)) m_widget->move(x, y);
  m_widget->resize(cx, cy);
  if (!(flags & SWP_NOZORDER)) RaiseWidget(m_widget);
}

CRect WidgetBackend::ClientRect() const {
  if (!m_widget) return CRect();
  return CRect(0, 0, m_widget->width(), m_widget->height());
}

void WidgetBackend::Invalidate() {
  if (m_widget) m_widget->update();
}

void WidgetBackend::StartSystemMove() {
  if (!m_widget) return;
  if (QWindow* window = m_widget->window()->windowHandle()) window->startSystemMove();
}

void WidgetBackend::SetShape(std::unique_ptr<Region> region) {
  if (!m_widget || !region) return;
  m_widget->setMask(ToQRegion(*region));
  SetDeviceShape(m_widget, *region);
}

bool WidgetBackend::PaintThroughWindowProcedure(HWND window, const QRect& clip) {
  QtDeviceContext context(m_widget, clip);
  m_paintContext = &context;
  m_classPaints = false;
  ::SendMessage(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(static_cast<DeviceContext*>(&context)), 0);
  ::SendMessage(window, WM_PAINT, 0, 0);
  m_paintContext = nullptr;
  ForgetDeviceContext(&context);
  return !(m_classPaints && !context.HasDrawn());
}

bool PaintRouter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Paint || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  const QVariant own = widget->property(kHandleProperty);
  const HWND window = own.isValid() ? reinterpret_cast<HWND>(own.value<quintptr>()) : nullptr;
  // A window with no object of the program's is painted by its class alone.
  if (!window || !WindowFromHandle(window)) return false;
  auto* backend = dynamic_cast<WidgetBackend*>(BackendOf(window));
  return backend && backend->PaintThroughWindowProcedure(window, static_cast<QPaintEvent*>(event)->rect());
}

PaintRouter* ThePaintRouter() {
  static PaintRouter* const router = new PaintRouter;
  return router;
}

}  // namespace platform::qt
