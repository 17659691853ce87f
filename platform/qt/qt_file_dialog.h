// The file dialog of the window system: Qt's own, the same on every desktop and under any
// display, so that a typed name gets the default extension as the Windows dialog gives it.
#pragma once

#include <QWidget>
#include <string>

#include "platform/user/file_dialog.h"

namespace platform::qt {

bool RunFileDialog(QWidget* owner, const FileDialogRequest& request, std::string* chosen);

}  // namespace platform::qt
