// ModemManager's client on the system bus, through Qt's D-Bus module.
#pragma once

#include <memory>

#include "platform/kernel/modem_manager.h"

namespace platform::qt {

std::unique_ptr<ModemManagerClient> MakeModemManagerClient();

}  // namespace platform::qt
