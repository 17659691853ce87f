// A pseudo-terminal published in a private port map as "comN": the test holds the master
// side and plays the handset, the code under test opens the port by its COM number.
#pragma once

#include <string>
#include <vector>

#include "platform/kernel/types.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

// A private port-map directory for one test, installed in FLASHGATE_PORTS_DIR.
class ScopedPortMap {
 public:
  const std::string& Directory() const { return m_dir.Path(); }
  // Links comN to `target`.
  void Publish(unsigned portNumber, const std::string& target) const;
  void Unpublish(unsigned portNumber) const;

 private:
  TempDir m_dir;
  ScopedEnv m_env{"FLASHGATE_PORTS_DIR", m_dir.Path()};
};

// A pseudo-terminal in raw mode, both sides held open: the slave's path stands for a device,
// and the line is not hung up before whoever opens the device has done so.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return m_slavePath; }
  int MasterFd() const { return m_master; }
  // Hangs the line up, as an unplugged cable does.
  void CloseMaster();

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_slavePath;
};

class PtyPort {
 public:
  // Opens a pseudo-terminal and links it as comN in `map`.
  PtyPort(const ScopedPortMap& map, unsigned portNumber);
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  const std::string& SlavePath() const { return m_pty.SlavePath(); }
  int MasterFd() const { return m_pty.MasterFd(); }

  // What the host wrote: waits at most timeoutMs for `count` bytes and answers what came.
  std::vector<BYTE> Read(std::size_t count, int timeoutMs = 2000);
  // Everything already waiting, after the line was quiet for quietMs.
  std::vector<BYTE> Drain(int quietMs = 50);
  void Write(const std::vector<BYTE>& bytes);
  // Hangs the line up, as an unplugged cable does.
  void CloseMaster() { m_pty.CloseMaster(); }

 private:
  PtyPair m_pty;
};

}  // namespace testing_support
