#include "tools/handset-sim/socket_line.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "tools/handset-sim/links.h"

namespace handset_sim {

std::unique_ptr<SocketLine> SocketLine::Connect(const std::string& socketPath, std::string* error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) {
    *error = "the socket path is too long: " + socketPath;
    return nullptr;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = ErrnoText("socket");
    return nullptr;
  }
  // Connected while blocking, so that a refused connection is known here; then non-blocking, as
  // the simulator's loop polls every line.
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = ErrnoText("cannot connect to " + socketPath);
    close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return std::unique_ptr<SocketLine>(new SocketLine(fd, socketPath));
}

SocketLine::~SocketLine() { close(m_fd); }

}  // namespace handset_sim
