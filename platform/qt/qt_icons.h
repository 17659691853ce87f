// Icon resources as Qt icons.
#pragma once

#include <QIcon>

#include "platform/user/resources.h"

namespace platform::qt {

QIcon ToQIcon(HICON icon);

}  // namespace platform::qt
