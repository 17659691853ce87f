// A virtual machine with a real kernel under the product: the installed Debian kernel boots on
// this machine's own root file system (read-only over 9p, under a throw-away overlay), so the
// build tree's programs run at their own paths, with real udev and QEMU's FTDI USB serial
// devices on an xHCI controller, each attached while a handset is connected to its socket.
// Commands run in the guest one at a time through a control port; their output lands in the
// shared folder, which the guest mounts read-write at the same path.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/child_process.h"

namespace testing_support {

class Guest {
 public:
  struct Result {
    std::optional<int> code;  // nothing: still running at the time-out
    std::string output;       // standard output and error, as they came
  };

  // Why this machine cannot run a guest (QEMU, the kernel or a static busybox missing); empty
  // when it can.
  static std::string Unavailable();
  // Boots a guest with `usbDevices` USB serial devices, sharing `share` (a folder whose name
  // holds no blank). Null with the reason in `why` when the guest does not come up.
  static std::unique_ptr<Guest> Boot(const std::string& share, int usbDevices, std::string* why);
  // `text` as one word of a shell command.
  static std::string Quoted(const std::string& text);
  ~Guest();
  Guest(const Guest&) = delete;
  Guest& operator=(const Guest&) = delete;

  // Where a handset connects to plug into USB device `device` (from 0).
  std::string UsbSocket(int device) const;
  // "kvm" or "tcg".
  const std::string& Accelerator() const { return m_accelerator; }

  // Starts a shell command in the guest, as root; answers its number for Wait. The guest runs
  // one command at a time: a second one starts when the first has ended.
  int Start(const std::string& command);
  Result Wait(int id, std::chrono::seconds timeout);
  Result Run(const std::string& command, std::chrono::seconds timeout = std::chrono::seconds(60));
  // Whether the shell `condition` holds in the guest within `timeout`.
  bool Until(const std::string& condition, std::chrono::seconds timeout);

 private:
  Guest(std::string share, std::string accelerator);
  bool Connect(std::string* why);
  // The next line from the control port, waiting until `deadline`.
  std::optional<std::string> ReadLine(std::chrono::steady_clock::time_point deadline);

  std::string m_share;
  std::string m_accelerator;
  std::unique_ptr<ChildProcess> m_qemu;
  int m_control = -1;
  std::string m_received;
  int m_lastId = 0;
};

// The last `lines` lines of `text`, for a failure's message.
std::string Tail(const std::string& text, std::size_t lines);

}  // namespace testing_support
