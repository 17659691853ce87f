#include "platform/qt/qt_menu.h"

#include <QMenu>

#include "platform/user/menu.h"
#include "platform/user/window_backend.h"

namespace platform::qt {

UINT RunPopupMenu(const MenuData& menu, const QPoint& screen, QWidget* owner) {
  QMenu popup(owner);
  for (const MenuItem& item : menu.items) {
    if (item.flags & MF_SEPARATOR) {
      popup.addSeparator();
      continue;
    }
    QAction* action = popup.addAction(QString::fromUtf8(item.text.c_str()));
    action->setData(QVariant::fromValue<qulonglong>(item.id));
    action->setEnabled(!(item.flags & MF_GRAYED));
  }
  const QAction* chosen = popup.exec(screen);
  return chosen ? static_cast<UINT>(chosen->data().toULongLong()) : 0;
}

}  // namespace platform::qt
