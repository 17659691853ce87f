#include "tests/support/pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include <filesystem>

namespace testing_support {

ScopedPortMap::ScopedPortMap() {
  char pattern[] = "/tmp/flashgate-ports-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  m_dir = pattern;
  if (const char* previous = std::getenv("FLASHGATE_PORTS_DIR")) {
    m_previous = previous;
    m_hadPrevious = true;
  }
  setenv("FLASHGATE_PORTS_DIR", m_dir.c_str(), 1);
}

ScopedPortMap::~ScopedPortMap() {
  std::error_code ignored;
  std::filesystem::remove_all(m_dir, ignored);
  if (m_hadPrevious) {
    setenv("FLASHGATE_PORTS_DIR", m_previous.c_str(), 1);
  } else {
    unsetenv("FLASHGATE_PORTS_DIR");
  }
}

void ScopedPortMap::Publish(unsigned portNumber, const std::string& target) const {
  const std::string link = m_dir + "/com" + std::to_string(portNumber);
  unlink(link.c_str());
  if (symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink failed");
}

void ScopedPortMap::Unpublish(unsigned portNumber) const {
  unlink((m_dir + "/com" + std::to_string(portNumber)).c_str());
}

PtyPort::PtyPort(const ScopedPortMap& map, unsigned portNumber) {
  char name[128] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
  fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
  fcntl(m_master, F_SETFD, FD_CLOEXEC);
  fcntl(m_slave, F_SETFD, FD_CLOEXEC);
  m_slavePath = name;
  map.Publish(portNumber, m_slavePath);
}

PtyPort::~PtyPort() {
  CloseMaster();
  if (m_slave >= 0) close(m_slave);
}

std::vector<BYTE> PtyPort::Read(std::size_t count, int timeoutMs) {
  std::vector<BYTE> bytes;
  BYTE buffer[4096];
  while (bytes.size() < count) {
    pollfd fd{m_master, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) break;
    const ssize_t n = read(m_master, buffer, std::min(sizeof buffer, count - bytes.size()));
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
    pollfd fd{m_master, POLLIN, 0};
    if (poll(&fd, 1, quietMs) <= 0) break;
    const ssize_t n = read(m_master, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

void PtyPort::Write(const std::vector<BYTE>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd fd{m_master, POLLOUT, 0};
      if (poll(&fd, 1, 2000) <= 0) throw std::runtime_error("pty master would not take the bytes");
    } else if (n < 0 && errno != EINTR) {
      throw std::runtime_error("write to pty master failed");
    }
  }
}

void PtyPort::CloseMaster() {
  if (m_master >= 0) close(m_master);
  m_master = -1;
}

}  // namespace testing_support
