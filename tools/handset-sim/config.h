// What the simulated handset is and does: where it shows itself on the bus, how it leaves and
// comes back, and the faults it injects.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/handset-sim/fault_plan.h"
#include "tools/handset-sim/handset.h"

namespace handset_sim {

struct Config {
  // On the bus as comN in the port map, unless `devDir` or `socketPath` is given.
  unsigned port = 1;
  std::string portsDir;  // empty: DefaultPortsDirectory()

  // On the bus as a device node in `devDir`, as the kernel and udev make one: the node at once,
  // udev's serial/by-id and serial/by-path names for it `udevDelay` later. Empty names are not
  // made.
  std::string devDir;
  std::string node;  // "ttyACM0"; required with `devDir`
  std::string byId;
  std::string byPath;
  std::chrono::milliseconds udevDelay{200};

  // Plugged into the USB serial device behind this socket instead (see SocketLine): the
  // machine's own kernel and udev name it, and it comes back into the same socket.
  std::string socketPath;

  Mode mode = Mode::Download;
  // Where the handset comes back after a drop-off. The by-path name stays: the handset is in
  // the same socket, whatever identity it restarts with.
  unsigned returnPort = 0;  // 0: the same port
  std::string returnNode;   // empty: the same node
  std::string returnById;   // empty: the same by-id name
  std::chrono::milliseconds returnDelay{2000};
  bool comesBack = true;  // false: off the bus for good once it has left it, whatever took it off

  bool restartAfterReset = false;  // an answered reset restarts it into the normal software
  // The reset that follows a block restarts it into the normal software at once, unanswered.
  bool leaveAtFinalReset = false;
  // After answering this request (counting from 1) the handset hangs until it is unplugged;
  // 0: never.
  std::uint64_t hangAt = 0;
  unsigned baud = 0;  // paces both directions; 0: as fast as the pseudo-terminal goes
  std::vector<FaultRule> faults;
  std::uint32_t seed = 1;
  // Leave the bus without answering that block or request (counting from 1) and come back on
  // the same port; 0: never.
  std::uint64_t unplugAtBlock = 0;
  std::uint64_t unplugAt = 0;
  std::chrono::milliseconds splitPause{20};  // within an answer split by a Fault::Split
  // Every answer goes out in pieces this far apart, cut at another place each time (see
  // AnswerCuts); 0: answers go out whole.
  std::chrono::milliseconds splitAnswersGap{0};
  // One line per request and per change on the bus; called on the simulator's thread, except
  // for the first, which Start reports.
  std::function<void(const std::string&)> onEvent;
  // Called on the simulator's thread when it has given up (see Simulator::Failure()).
  std::function<void()> onFailure;
};

}  // namespace handset_sim
