#include "ui/port_list.h"

#include <string>

#include "platform/kernel/com_port.h"
#include "ui/json_lines.h"

using json_lines::Json;
using json_lines::TextOrNull;

void PrintPorts(const std::vector<platform::PortDescription>& ports, std::FILE* out) {
  if (ports.empty()) std::fputs("No ports.\n", out);
  for (const platform::PortDescription& port : ports) {
    std::fprintf(out, "%s  %s\n", platform::ComPortName(port.number).c_str(),
                 port.device.IsEmpty() ? "(no device now)" : port.device.GetString());
    if (!port.identity.IsEmpty()) std::fprintf(out, "  by-id    %s\n", port.identity.GetString());
    if (!port.location.IsEmpty()) std::fprintf(out, "  by-path  %s\n", port.location.GetString());
    for (const platform::PortHolder& holder : port.holders) {
      std::fprintf(out, "  held by  %s (pid %lu)\n", holder.name.GetString(),
                   static_cast<unsigned long>(holder.processId));
    }
  }
}

void PrintPortsJson(const std::vector<platform::PortDescription>& ports, std::FILE* out) {
  for (const platform::PortDescription& port : ports) {
    Json holders = Json::array();
    for (const platform::PortHolder& holder : port.holders) {
      holders.push_back({{"pid", holder.processId}, {"name", holder.name.str()}});
    }
    const Json line = {{"v", 1},
                       {"port", platform::ComPortName(port.number)},
                       {"number", port.number},
                       {"device", TextOrNull(port.device.str())},
                       {"byId", TextOrNull(port.identity.str())},
                       {"byPath", TextOrNull(port.location.str())},
                       {"holders", holders}};
    json_lines::Write(out, line);
  }
}
