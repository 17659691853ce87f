#include "ui/port_list.h"

#include <nlohmann/json.hpp>
#include <string>

#include "platform/kernel/com_port.h"

namespace {

// "/dev/serial/by-id/usb-X" as "usb-X": the folder says which kind of name it is.
std::string LinkName(const CString& path) {
  const std::string text = path.str();
  return text.substr(text.rfind('/') + 1);
}

nlohmann::ordered_json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

}  // namespace

void PrintPorts(const std::vector<platform::PortDescription>& ports, std::FILE* out) {
  if (ports.empty()) std::fputs("No ports.\n", out);
  for (const platform::PortDescription& port : ports) {
    std::fprintf(out, "%s  %s\n", platform::ComPortName(port.number).c_str(),
                 port.device.IsEmpty() ? "(no device now)" : port.device.GetString());
    if (!port.identity.IsEmpty()) std::fprintf(out, "  by-id    %s\n", LinkName(port.identity).c_str());
    if (!port.location.IsEmpty()) std::fprintf(out, "  by-path  %s\n", LinkName(port.location).c_str());
    for (const platform::PortHolder& holder : port.holders) {
      std::fprintf(out, "  held by  %s (pid %lu)\n", holder.name.GetString(),
                   static_cast<unsigned long>(holder.processId));
    }
  }
}

void PrintPortsJson(const std::vector<platform::PortDescription>& ports, std::FILE* out) {
  for (const platform::PortDescription& port : ports) {
    nlohmann::ordered_json holders = nlohmann::ordered_json::array();
    for (const platform::PortHolder& holder : port.holders) {
      holders.push_back({{"pid", holder.processId}, {"name", holder.name.str()}});
    }
    const nlohmann::ordered_json line = {{"v", 1},
                                 {"port", platform::ComPortName(port.number)},
                                 {"number", port.number},
                                 {"device", TextOrNull(port.device.str())},
                                 {"byId", TextOrNull(LinkName(port.identity))},
                                 {"byPath", TextOrNull(LinkName(port.location))},
                                 {"holders", holders}};
    // Names from the system are not always UTF-8: such bytes are replaced rather than refused.
    std::fprintf(out, "%s\n", line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
  }
}
