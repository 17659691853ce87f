// The host's end of a handset line, written by hand for the tests: the slave side of the
// handset's pseudo-terminal, and request frames built from packets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/handset-sim/frame_codec.h"

namespace handset_sim_test {

using handset_sim::Byte;
using handset_sim::Bytes;

// The answers on the wire, as the host must see them.
extern const Bytes kAckFrame;
extern const Bytes kHelloFrame;

// A port-map directory of its own, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return m_path; }
  std::string Link(unsigned port) const { return m_path + "/com" + std::to_string(port); }

 private:
  std::string m_path;
};

class HostLine {
 public:
  // Opens the port the way a host does: read-write, raw, no controlling terminal.
  explicit HostLine(const std::string& path);
  ~HostLine();
  HostLine(const HostLine&) = delete;
  HostLine& operator=(const HostLine&) = delete;

  void Write(const Bytes& bytes);
  // Waits at most timeoutMs for `count` bytes and answers what came.
  Bytes Read(std::size_t count, int timeoutMs = 2000);
  // Waits at most timeoutMs for bytes and answers what one read finds, at most `count`.
  Bytes ReadSome(std::size_t count, int timeoutMs = 2000);
  // Whatever else arrives before the line has been quiet for quietMs.
  Bytes Drain(int quietMs = 50);
  // True once the handset has hung the line up, within timeoutMs.
  bool WaitForHangUp(int timeoutMs = 2000);

 private:
  int m_fd = -1;
};

// The packet framed as the host sends it (no opening flag, no pad).
Bytes Frame(const Bytes& packet);
Bytes ErasePacket(std::uint32_t start, std::uint32_t length);
// A write request for `data` (at most 8192 bytes; the rest of the data field is `filler`).
Bytes WritePacket(std::uint32_t offset, const Bytes& data, Byte filler = 0xA5);
// `count` bytes of a pattern that differs from block to block and includes the escaped bytes.
Bytes BlockData(std::size_t count, unsigned seed);
// Where the symbolic link `link` points; empty when there is no such link.
std::string LinkTarget(const std::string& link);

}  // namespace handset_sim_test
