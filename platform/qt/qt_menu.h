// Popup menus as QMenu.
#pragma once

#include <QPoint>
#include <QWidget>

#include "platform/kernel/types.h"

namespace platform {
struct MenuData;
}

namespace platform::qt {

// Runs the menu at `screen` until the operator chooses or dismisses it; the chosen item's id, or 0.
UINT RunPopupMenu(const MenuData& menu, const QPoint& screen, QWidget* owner);

}  // namespace platform::qt
