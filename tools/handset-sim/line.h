// The handset's end of its line to the host, whatever carries it: a pseudo-terminal published
// under a name, or a connection to a virtual machine's USB serial device. Dropping the object
// takes the handset off the bus.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace handset_sim {

class Line {
 public:
  virtual ~Line() = default;
  // Non-blocking; read for the host's requests.
  virtual int Fd() const = 0;
  // Writes what the line takes now, as write(2) answers.
  virtual ssize_t Write(const void* data, std::size_t count) = 0;
  // What the host's side is reached through: the pseudo-terminal's slave, or the socket.
  virtual std::string Device() const = 0;
  // How the line shows itself in the handset's messages.
  virtual std::string Shown() const = 0;
  // After a read found no host at the other end: waits until one may have come, `wakeFd` is
  // readable or `timeoutMs` have passed. False where the line cannot tell, for the caller to
  // wait a little itself.
  virtual bool AwaitHost(int wakeFd, int timeoutMs) {
    (void)wakeFd, (void)timeoutMs;
    return false;
  }
};

}  // namespace handset_sim
