// The handset plugged into a virtual machine's USB serial device (QEMU's usb-serial on a
// listening socket chardev): the device is attached while this connection is open, so the
// guest's kernel and udev make its node and names, and closing it pulls the cable.
#pragma once

#include <memory>
#include <string>

#include "tools/handset-sim/line.h"

namespace handset_sim {

class SocketLine : public Line {
 public:
  // On failure answers null and says why in `error`.
  static std::unique_ptr<SocketLine> Connect(const std::string& socketPath, std::string* error);
  ~SocketLine() override;
  SocketLine(const SocketLine&) = delete;
  SocketLine& operator=(const SocketLine&) = delete;

  int Fd() const override { return m_fd; }
  // A machine that has gone answers EPIPE, not a signal that would end the program.
  ssize_t Write(const void* data, std::size_t count) override;
  std::string Device() const override { return m_socketPath; }
  std::string Shown() const override { return "plugged into " + m_socketPath; }

 private:
  SocketLine(int fd, std::string socketPath) : m_fd(fd), m_socketPath(std::move(socketPath)) {}

  int m_fd;
  std::string m_socketPath;
};

}  // namespace handset_sim
