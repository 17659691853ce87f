// Where the handset shows itself on the bus: the name the host opens and, in a device folder,
// the names udev gives the node a moment later.
#pragma once

#include <string>

#include "tools/handset-sim/config.h"

namespace handset_sim {

struct Place {
  std::string title;       // how the handset's messages name it: "COM3", "ttyACM0"
  std::string linkPath;    // the link to the pseudo-terminal: the port map's comN, or the node
  unsigned port = 0;       // 0 in a device folder
  std::string socketPath;  // plugged into a virtual machine's USB serial device: nothing to link
  // In a device folder only; an empty name is not made.
  std::string devDir;
  std::string node;
  std::string byId;
  std::string byPath;

  bool Named() const { return !byId.empty() || !byPath.empty(); }
};

// Where the handset appears first, and where it comes back after a drop-off. `portsDir` is the
// port map in use.
Place FirstPlace(const Config& config, const std::string& portsDir);
Place ReturnPlace(const Config& config, const std::string& portsDir);

}  // namespace handset_sim
