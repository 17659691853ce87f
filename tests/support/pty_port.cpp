#include "tests/support/pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <stdexcept>

namespace testing_support {

void ScopedPortMap::Publish(unsigned portNumber, const std::string& target) const {
  const std::string link = Directory() + "/com" + std::to_string(portNumber);
  unlink(link.c_str());
  if (symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink failed");
}

void ScopedPortMap::Unpublish(unsigned portNumber) const {
  unlink((Directory() + "/com" + std::to_string(portNumber)).c_str());
}

PtyPair::PtyPair() {
  char name[128] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
  fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
  fcntl(m_master, F_SETFD, FD_CLOEXEC);
  fcntl(m_slave, F_SETFD, FD_CLOEXEC);
  m_slavePath = name;
}

PtyPair::~PtyPair() {
  CloseMaster();
  if (m_slave >= 0) close(m_slave);
}

void PtyPair::CloseMaster() {
  if (m_master >= 0) close(m_master);
  m_master = -1;
}

PtyPort::PtyPort(const ScopedPortMap& map, unsigned portNumber) { map.Publish(portNumber, m_pty.SlavePath()); }

std::vector<BYTE> PtyPort::Read(std::size_t count, int timeoutMs) {
  std::vector<BYTE> bytes;
  BYTE buffer[4096];
  while (bytes.size() < count) {
    pollfd fd{MasterFd(), POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) break;
    const ssize_t n = read(MasterFd(), buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n <= 0) {
      if (n < 0 && errno == EAGAIN) continue;
      break;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

std::vector<BYTE> PtyPort::Drain(int quietMs) {
  std::vector<BYTE> bytes;
  BYTE buffer[4096];
  for (;;) {
    pollfd fd{MasterFd(), POLLIN, 0};
    if (poll(&fd, 1, quietMs) <= 0) break;
    const ssize_t n = read(MasterFd(), buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

void PtyPort::Write(const std::vector<BYTE>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(MasterFd(), bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd fd{MasterFd(), POLLOUT, 0};
      if (poll(&fd, 1, 2000) <= 0) throw std::runtime_error("pty master would not take the bytes");
    } else if (n < 0 && errno != EINTR) {
      throw std::runtime_error("write to pty master failed");
    }
  }
}

}  // namespace testing_support
