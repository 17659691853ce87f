#include "platform/qt/qt_dialog.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "platform/qt/qt_gdi.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/menu.h"
#include "platform/user/message_box.h"
#include "platform/user/messages.h"
#include "platform/user/window_messages.h"

namespace platform::qt {
DialogWidget* DialogOfHandle(HWND window) { return dynamic_cast<DialogWidget*>(WidgetOfHandle(window)); }

DialogWidget::DialogWidget(QWidget* owner) : QDialog(owner) {}

int DialogWidget::RunModal() {
  setWindowModality(Qt::ApplicationModal);
  show();
  RaiseWidget(this);
  activateWindow();
  QEventLoop loop;
  m_loop = &loop;
  const int result = loop.exec();
  m_loop = nullptr;
  return result;
}

void DialogWidget::EndModal(int result) {
  if (m_loop) m_loop->exit(result);
}

void DialogWidget::CloseForGood() {
  m_closing = true;
  hide();
}

void DialogWidget::closeEvent(QCloseEvent* event) {
  if (m_closing) {
    event->accept();
    return;
  }
  // The close box asks the dialog, which decides whether and how it ends.
  event->ignore();
  ::SendMessage(m_hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void DialogWidget::reject() { ::SendMessage(m_hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

void DialogWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPoint at = event->position().toPoint();
    ::SendMessage(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(at.x()), static_cast<WORD>(at.y())));
  }
  QDialog::mousePressEvent(event);
}

void DialogWidget::contextMenuEvent(QContextMenuEvent* event) { ShowSystemMenu(event->globalPos()); }

void DialogWidget::ShowSystemMenu(const QPoint& globalPosition) {
  QMenu menu(this);
  if (windowFlags() & Qt::WindowMinimizeButtonHint) {
    menu.addAction(QStringLiteral("Minimize"), this, [this] { showMinimized(); });
  }
  if (windowFlags() & Qt::WindowCloseButtonHint) {
    menu.addAction(QStringLiteral("Close"), this, [this] { ::SendMessage(m_hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); });
  }
  if (const MenuData* items = SystemMenuOf(m_hwnd)) {
    for (const MenuItem& item : items->items) {
      if (item.flags & MF_SEPARATOR) {
        menu.addSeparator();
        continue;
      }
      const HWND window = m_hwnd;
      const UINT_PTR id = item.id;
      // "&" marks the access key here as on Windows.
      menu.addAction(QString::fromUtf8(item.text.c_str()), this,
                     [window, id] { ::SendMessage(window, WM_SYSCOMMAND, id, 0); });
    }
  }
  if (!menu.isEmpty()) menu.exec(globalPosition);
}

LRESULT DialogBackend::ClassProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETICON: {
      QIcon icon = ToQIcon(reinterpret_cast<HICON>(lParam));
      if (!icon.isNull()) m_dialog->setWindowIcon(icon);
      return 0;
    }
    case WM_NCLBUTTONDOWN:
      if (wParam == HTCAPTION) StartSystemMove();
      return 0;
    default: return WidgetBackend::ClassProc(message, wParam, lParam);
  }
}

}  // namespace platform::qt
