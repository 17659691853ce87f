#include "tests/tools/host_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>

namespace handset_sim_test {
namespace {

int MsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::chrono::steady_clock::time_point After(int ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

}  // namespace

const Bytes kAckFrame = {0x02, 0x6A, 0xD3, 0x7E};
const Bytes kHelloFrame = {0xA0, 0x72, 0x55, 0x7E};

TempDir::TempDir() {
  char pattern[] = "/tmp/handset-sim-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

HostLine::HostLine(const std::string& path) {
  m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (m_fd < 0) throw std::runtime_error("cannot open " + path);
  termios settings{};
  tcgetattr(m_fd, &settings);
  cfmakeraw(&settings);
  tcsetattr(m_fd, TCSANOW, &settings);
}

HostLine::~HostLine() { close(m_fd); }

void HostLine::Write(const Bytes& bytes) {
  const auto deadline = After(5000);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd fd{m_fd, POLLOUT, 0};
      if (poll(&fd, 1, MsLeft(deadline)) <= 0) throw std::runtime_error("the handset does not read");
    } else if (!(n < 0 && errno == EINTR)) {
      throw std::runtime_error("write to the handset line failed");
    }
  }
}

Bytes HostLine::Read(std::size_t count, int timeoutMs) {
  const auto deadline = After(timeoutMs);
  Bytes bytes;
  Byte buffer[4096];
  while (bytes.size() < count) {
    pollfd fd{m_fd, POLLIN, 0};
    if (poll(&fd, 1, MsLeft(deadline)) <= 0 || !(fd.revents & POLLIN)) break;
    const ssize_t n = read(m_fd, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n > 0) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    } else if (!(n < 0 && (errno == EAGAIN || errno == EINTR))) {
      break;
    }
  }
  return bytes;
}

Bytes HostLine::ReadSome(std::size_t count, int timeoutMs) {
  const auto deadline = After(timeoutMs);
  Byte buffer[4096];
  for (;;) {
    pollfd fd{m_fd, POLLIN, 0};
    if (poll(&fd, 1, MsLeft(deadline)) <= 0 || !(fd.revents & POLLIN)) return {};
    const ssize_t n = read(m_fd, buffer, std::min(sizeof buffer, count));
    if (n > 0) return Bytes(buffer, buffer + n);
    if (!(n < 0 && (errno == EAGAIN || errno == EINTR))) return {};
  }
}

Bytes HostLine::Drain(int quietMs) {
  Bytes bytes;
  Byte buffer[4096];
  for (;;) {
    pollfd fd{m_fd, POLLIN, 0};
    if (poll(&fd, 1, quietMs) <= 0 || !(fd.revents & POLLIN)) break;
    const ssize_t n = read(m_fd, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

bool HostLine::WaitForHangUp(int timeoutMs) {
  const auto deadline = After(timeoutMs);
  for (;;) {
    pollfd fd{m_fd, POLLIN, 0};
    if (poll(&fd, 1, MsLeft(deadline)) <= 0) return false;
    if (fd.revents & POLLHUP) return true;
    Byte buffer[256];
    if (read(m_fd, buffer, sizeof buffer) < 0 && errno == EIO) return true;
  }
}

Bytes Frame(const Bytes& packet) { return handset_sim::EncodeFrame(packet); }

Bytes ErasePacket(std::uint32_t start, std::uint32_t length) {
  Bytes packet = {handset_sim::kCmdErase};
  for (int i = 0; i < 4; ++i) packet.push_back(static_cast<Byte>(start >> (8 * i)));
  for (int i = 0; i < 4; ++i) packet.push_back(static_cast<Byte>(length >> (8 * i)));
  return packet;
}

Bytes WritePacket(std::uint32_t offset, const Bytes& data, Byte filler) {
  Bytes packet = {handset_sim::kCmdWrite};
  for (int i = 0; i < 4; ++i) packet.push_back(static_cast<Byte>(offset >> (8 * i)));
  packet.push_back(static_cast<Byte>(data.size()));
  packet.push_back(static_cast<Byte>(data.size() >> 8));
  packet.insert(packet.end(), data.begin(), data.end());
  packet.resize(handset_sim::kWritePacketLength, filler);
  return packet;
}

Bytes BlockData(std::size_t count, unsigned seed) {
  Bytes data(count);
  for (std::size_t i = 0; i < count; ++i) data[i] = static_cast<Byte>((i * 31 + seed * 17 + (i >> 8)) & 0xFF);
  return data;
}

std::string LinkTarget(const std::string& link) {
  std::error_code error;
  const std::filesystem::path target = std::filesystem::read_symlink(link, error);
  return error ? std::string() : target.string();
}

}  // namespace handset_sim_test
