#include "platform/kernel/modem_manager.h"

#include <algorithm>

#include "platform/kernel/com_port.h"
#include "platform/posix/device_names.h"
#include "platform/posix/port_map.h"
#include "platform/posix/program_files.h"

namespace platform {
namespace {

std::unique_ptr<ModemManagerClient>& TheClient() {
  static std::unique_ptr<ModemManagerClient> client;
  return client;
}

}  // namespace

void InstallModemManagerClient(std::unique_ptr<ModemManagerClient> client) { TheClient() = std::move(client); }

CString ModemInhibitions::Inhibit(LPCSTR portName) {
  ModemManagerClient* client = TheClient().get();
  const unsigned port = portName ? ComPortNumber(portName) : 0;
  const std::string device = port ? posix::RealPath(posix::PortPath(port)) : std::string();
  if (!client || device.empty()) return CString();
  const std::string uid = client->ModemWithPort(device.substr(device.rfind('/') + 1));
  // A device that comes back into the same socket is the same modem, which the manager keeps
  // inhibited for as long as its inhibitor stays on the bus.
  if (uid.empty() || std::find(m_uids.begin(), m_uids.end(), uid) != m_uids.end()) return CString();
  std::string refusal;
  if (client->Inhibit(uid, &refusal)) {
    m_uids.push_back(uid);
    return CString();
  }
  // The package's udev rule keeps the manager off the handset without asking it.
  const std::string docs = posix::DocumentationFolder();
  const std::string rule = docs.empty() ? "" : " (in " + docs + "/examples)";
  return CString((std::string("ModemManager would not leave ") + portName + " (" + device + ") alone: " + refusal +
                  ". The udev rule 70-flashgate-handset.rules" + rule + " keeps it off the handset for good.")
                     .c_str());
}

void ModemInhibitions::ReleaseAll() {
  ModemManagerClient* client = TheClient().get();
  for (const std::string& uid : m_uids) {
    if (client) client->Release(uid);
  }
  m_uids.clear();
}

}  // namespace platform
