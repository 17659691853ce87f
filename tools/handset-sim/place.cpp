#include "tools/handset-sim/place.h"

namespace handset_sim {
namespace {

Place InPortMap(const std::string& portsDir, unsigned port) {
  Place place;
  place.title = "COM" + std::to_string(port);
  place.linkPath = portsDir + "/com" + std::to_string(port);
  place.port = port;
  return place;
}

Place InDeviceFolder(const Config& config, const std::string& node, const std::string& byId) {
  Place place;
  place.title = node;
  place.linkPath = config.devDir + "/" + node;
  place.devDir = config.devDir;
  place.node = node;
  place.byId = byId;
  place.byPath = config.byPath;
  return place;
}

Place InSocket(const std::string& socketPath) {
  Place place;
  place.title = socketPath.substr(socketPath.rfind('/') + 1);
  place.socketPath = socketPath;
  return place;
}

}  // namespace

Place FirstPlace(const Config& config, const std::string& portsDir) {
  if (!config.socketPath.empty()) return InSocket(config.socketPath);
  if (config.devDir.empty()) return InPortMap(portsDir, config.port);
  return InDeviceFolder(config, config.node, config.byId);
}

Place ReturnPlace(const Config& config, const std::string& portsDir) {
  if (!config.socketPath.empty()) return InSocket(config.socketPath);
  if (config.devDir.empty()) return InPortMap(portsDir, config.returnPort != 0 ? config.returnPort : config.port);
  return InDeviceFolder(config, config.returnNode.empty() ? config.node : config.returnNode,
                        config.returnById.empty() ? config.byId : config.returnById);
}

}  // namespace handset_sim
