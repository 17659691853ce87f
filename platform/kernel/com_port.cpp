#include "platform/kernel/com_port.h"

#include <strings.h>

#include "platform/posix/port_map.h"

namespace platform {

std::string ComPortName(unsigned number) { return "COM" + std::to_string(number); }

unsigned ComPortNumber(const std::string& name) {
  if (name.size() < 4 || strncasecmp(name.c_str(), "COM", 3) != 0) return 0;
  return posix::PortOfNumber(name.substr(3));
}

}  // namespace platform
