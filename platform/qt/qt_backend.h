// The Qt side of a window: one backend per real window, holding its widget.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/user/window_backend.h"

namespace platform::qt {

// What every window does the same way whatever its class: state, place and size.
class WidgetBackend : public WindowBackend {
 public:
  explicit WidgetBackend(QWidget* widget) : m_widget(widget) {}

  LRESULT ClassProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Enable(bool enable) override;
  bool IsEnabled() const override;
  void Show(int command) override;
  bool IsVisible() const override;
  bool IsIconic() const override;
  void SetFocus() override;
  void SetWindowPos(int x, int y, int cx, int cy, UINT flags) override;
  CRect ClientRect() const override;
  void Invalidate() override;
  void StartSystemMove() override;
  DeviceContext* PaintContext() override { return m_paintContext; }
  void SetShape(std::unique_ptr<Region> region) override;

  QWidget* Widget() const { return m_widget; }
  // Paints the widget through its window's procedure: WM_ERASEBKGND, then WM_PAINT. False when
  // the window leaves its painting to its class, and so to the widget's own.
  bool PaintThroughWindowProcedure(HWND window, const QRect& clip);

 protected:
  // The window's text; each class keeps it where its widget does.
  virtual QString Text() const { return m_widget->windowTitle(); }
  virtual void SetText(const QString& text) { m_widget->setWindowTitle(text); }

 private:
  QPointer<QWidget> m_widget;
  DeviceContext* m_paintContext = nullptr;
  bool m_classPaints = false;
};

// Sends each paint of the widgets it watches through their window's procedure first.
class PaintRouter final : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// The router every window's widget is given.
PaintRouter* ThePaintRouter();

// The widget of a window, for tests that drive it as an operator would.
QWidget* WidgetOfHandle(HWND window);

// The handle a widget stands for, kept on the widget for the event filter.
HWND HandleOfWidget(const QWidget* widget);
void SetHandleOfWidget(QWidget* widget, HWND window);

// Brings a window to the front, where the display has a front: the off-screen one has none.
void RaiseWidget(QWidget* widget);

QString FromUtf8(const char* text);

}  // namespace platform::qt
