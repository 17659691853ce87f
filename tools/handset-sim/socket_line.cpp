#include "tools/handset-sim/socket_line.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "tools/handset-sim/links.h"

namespace handset_sim {
namespace {

constexpr std::chrono::seconds kConnectPatience{2};

}  // namespace

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
  // Non-blocking, as the simulator's loop polls every line. A listener whose backlog is full
  // (a paused machine) refuses at once; it is asked again for a while, never without end.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  const auto deadline = std::chrono::steady_clock::now() + kConnectPatience;
  while (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EAGAIN || std::chrono::steady_clock::now() >= deadline) {
      *error = ErrnoText("cannot connect to " + socketPath);
      close(fd);
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::unique_ptr<SocketLine>(new SocketLine(fd, socketPath));
}

ssize_t SocketLine::Write(const void* data, std::size_t count) { return send(m_fd, data, count, MSG_NOSIGNAL); }

SocketLine::~SocketLine() { close(m_fd); }

}  // namespace handset_sim
