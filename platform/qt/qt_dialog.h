// A dialog window as a QDialog: the widget that carries the template's controls and turns
// the window system's events into the messages of the dialog's CWnd.
#pragma once

#include <QDialog>
#include <QEventLoop>
#include <memory>
#include <vector>

#include "platform/qt/qt_controls.h"

namespace platform::qt {

class DialogWidget final : public QDialog {
 public:
  explicit DialogWidget(QWidget* owner);

  void SetHandle(HWND window) { m_hwnd = window; }
  HWND Handle() const { return m_hwnd; }
  void Keep(std::unique_ptr<WindowBackend> backend) { m_backends.push_back(std::move(backend)); }

  int RunModal();
  void EndModal(int result);
  // Lets the window go without asking its dialog again.
  void CloseForGood();
  void ShowSystemMenu(const QPoint& globalPosition);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void mousePressEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  HWND m_hwnd = nullptr;
  bool m_closing = false;
  QEventLoop* m_loop = nullptr;
  std::vector<std::unique_ptr<WindowBackend>> m_backends;
};

// The dialog a handle names; null for any other window.
DialogWidget* DialogOfHandle(HWND window);

class DialogBackend final : public WidgetBackend {
 public:
  explicit DialogBackend(DialogWidget* dialog) : WidgetBackend(dialog), m_dialog(dialog) {}
  LRESULT ClassProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  DialogWidget* m_dialog;
};

}  // namespace platform::qt
