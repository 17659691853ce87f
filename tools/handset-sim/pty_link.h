// The handset on the bus: a pseudo-terminal whose slave side is published under the name the
// host opens, "comN" in the port map or a device node in a device folder. Dropping the object
// takes the handset off the bus: the link goes first, so the port is gone for anyone looking,
// then the master closes, which the host sees as a hang-up.
#pragma once

#include <memory>
#include <string>

#include "tools/handset-sim/line.h"

namespace handset_sim {

// $FLASHGATE_PORTS_DIR when set, else ~/.config/flashgate/ports.
std::string DefaultPortsDirectory();

class PtyLink : public Line {
 public:
  // Makes the link's folder when it is missing. On failure answers null and says why in `error`.
  static std::unique_ptr<PtyLink> Open(const std::string& linkPath, std::string* error);
  ~PtyLink() override;
  PtyLink(const PtyLink&) = delete;
  PtyLink& operator=(const PtyLink&) = delete;

  int Fd() const override { return m_master; }
  ssize_t Write(const void* data, std::size_t count) override;
  std::string Device() const override { return m_slavePath; }
  std::string Shown() const override { return m_linkPath + " -> " + m_slavePath; }
  // Until the slave is opened: its opens are watched.
  bool AwaitHost(int wakeFd, int timeoutMs) override;

 private:
  PtyLink(int master, std::string slavePath, std::string linkPath);

  // The slave is not held open: like a real handset, the stand-in is no holder of the host's
  // device. While no host has it open, the master reads EIO.
  int m_master;
  int m_opens;  // inotify of the slave's opens; -1 when it cannot be watched
  std::string m_slavePath;
  std::string m_linkPath;
};

}  // namespace handset_sim
