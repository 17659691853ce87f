// The real message box: a QMessageBox on the window it belongs to.
#pragma once

#include "platform/user/message_box.h"

namespace platform::qt {

int ShowMessageBox(const MessageBoxRequest& request);

}  // namespace platform::qt
