#include "platform/kernel/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>

#include "platform/kernel/clock.h"
#include "platform/kernel/last_error.h"
#include "platform/posix/open_failure.h"

namespace platform {
namespace {

struct BaudMapping {
  DWORD rate;
  speed_t speed;
};

constexpr BaudMapping kBaudRates[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedForRate(DWORD rate, speed_t* speed) {
  for (const BaudMapping& mapping : kBaudRates) {
    if (mapping.rate == rate) {
      *speed = mapping.speed;
      return true;
    }
  }
  return false;
}

DWORD RateForSpeed(speed_t speed) {
  for (const BaudMapping& mapping : kBaudRates) {
    if (mapping.speed == speed) return mapping.rate;
  }
  return 0;
}

// A write's time-out is real time whatever clock the program runs on: the device takes bytes
// as fast as it really does.
std::uint64_t MonotonicMs() { return RealClock().NowMs(); }

// Pseudo-terminals have no modem lines and answer ENOTTY or EINVAL; that is not a failure.
bool SetModemLine(int fd, int line, bool on) {
  if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
  return errno == ENOTTY || errno == EINVAL;
}

bool ConfigureRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~HUPCL;
  // The terminal keeps what the last program set; a port starts without flow control, as
  // a Windows serial driver reports it. A handset that never raises CTS would stall every write.
  settings.c_cflag &= ~CRTSCTS;
  settings.c_iflag &= ~(IXON | IXOFF | IXANY);
  // A handset line has one stop bit and no parity; raw mode leaves both as they were.
  settings.c_cflag &= ~(PARODD | CMSPAR | CSTOPB);
  settings.c_iflag &= ~INPCK;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

}  // namespace

std::shared_ptr<SerialDevice> SerialDevice::Open(const std::string& path) {
  posix::ClearOpenFailure();
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    posix::NoteOpenFailure(path, errno);
    SetLastErrorFromErrno();
    return nullptr;
  }
  const auto fail = [fd](DWORD error) {
    close(fd);
    SetLastError(error);
    return nullptr;
  };
  termios probe{};
  if (tcgetattr(fd, &probe) != 0) return fail(ERROR_NOT_SUPPORTED);
  // Root is not held back by TIOCEXCL, so the advisory lock is what keeps a second program out.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    posix::NoteOpenFailure(path, EBUSY);
    return fail(ERROR_ACCESS_DENIED);
  }
  ioctl(fd, TIOCEXCL);
  if (!ConfigureRaw(fd)) return fail(Win32ErrorFromErrno(errno));
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) return fail(Win32ErrorFromErrno(errno));
  return std::shared_ptr<SerialDevice>(new SerialDevice(fd, wakeFd));
}

SerialDevice::~SerialDevice() {
  close(m_fd);
  close(m_wakeFd);
}

void SerialDevice::OnHandleClosed() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
  }
  ioctl(m_fd, TIOCNXCL);
  flock(m_fd, LOCK_UN);
  Wake();
}

void SerialDevice::Wake() {
  const std::uint64_t one = 1;
  // A full counter already wakes the waiter, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t n = write(m_wakeFd, &one, sizeof one);
}

void SerialDevice::DrainWake() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(m_wakeFd, &count, sizeof count);
}

bool SerialDevice::GetState(DCB* dcb) const {
  termios settings{};
  if (tcgetattr(m_fd, &settings) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  int lines = 0;
  // Without modem lines (a pseudo-terminal) report them raised, as Linux raises them on open.
  if (ioctl(m_fd, TIOCMGET, &lines) != 0) lines = TIOCM_DTR | TIOCM_RTS;

  *dcb = DCB{};
  dcb->DCBlength = sizeof(DCB);
  dcb->BaudRate = RateForSpeed(cfgetospeed(&settings));
  dcb->ByteSize = 8;
  dcb->Parity = NOPARITY;
  dcb->StopBits = ONESTOPBIT;
  dcb->fBinary = 1;
  dcb->fDtrControl = (lines & TIOCM_DTR) ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  dcb->fRtsControl = (lines & TIOCM_RTS) ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  return true;
}

// A handset line carries bytes of 8 bits, one stop bit, no parity and no flow control: the port
// opens so (ConfigureRaw), and a DCB asking for anything else is refused.
bool SerialDevice::SetState(const DCB& dcb) {
  termios settings{};
  if (tcgetattr(m_fd, &settings) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  speed_t speed = B0;
  if (!SpeedForRate(dcb.BaudRate, &speed) || dcb.ByteSize != 8 || dcb.Parity != NOPARITY ||
      dcb.StopBits != ONESTOPBIT || dcb.fOutxCtsFlow || dcb.fOutX || dcb.fInX) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  cfsetispeed(&settings, speed);
  cfsetospeed(&settings, speed);
  if (tcsetattr(m_fd, TCSANOW, &settings) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  // The modem lines follow only once the line settings are in place. They are asked for, not
  // required: a USB device that stalls the line-state request still carries data, as it does
  // on Windows.
  SetModemLine(m_fd, TIOCM_DTR, dcb.fDtrControl != DTR_CONTROL_DISABLE);
  SetModemLine(m_fd, TIOCM_RTS, dcb.fRtsControl != RTS_CONTROL_DISABLE);
  return true;
}

bool SerialDevice::Escape(DWORD function) {
  bool ok = false;
  switch (function) {
    case CLRRTS: ok = SetModemLine(m_fd, TIOCM_RTS, false); break;
    case CLRDTR: ok = SetModemLine(m_fd, TIOCM_DTR, false); break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return false;
  }
  if (!ok) SetLastErrorFromErrno();
  return ok;
}

// Writes end before WriteFile returns, so there is never one to abort.
bool SerialDevice::Purge(DWORD flags) {
  const bool output = flags & PURGE_TXCLEAR;
  const bool input = flags & PURGE_RXCLEAR;
  if (!output && !input) return true;
  if (tcflush(m_fd, output && input ? TCIOFLUSH : output ? TCOFLUSH : TCIFLUSH) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  return true;
}

bool SerialDevice::QueueStatus(COMSTAT* status) const {
  *status = COMSTAT{};
  int waiting = 0;
  if (ioctl(m_fd, FIONREAD, &waiting) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  status->cbInQue = static_cast<DWORD>(waiting);
  return true;
}

void SerialDevice::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_timeouts = timeouts;
}

void SerialDevice::SetMask(DWORD mask) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mask = mask;
    ++m_maskGeneration;
  }
  Wake();
}

bool SerialDevice::WaitEvent(DWORD* events) {
  *events = 0;
  std::uint64_t generation = 0;
  DWORD mask = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) {
      SetLastError(ERROR_OPERATION_ABORTED);
      return false;
    }
    if (m_mask == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    generation = m_maskGeneration;
    mask = m_mask;
  }
  for (;;) {
    pollfd fds[2] = {{m_fd, static_cast<short>((mask & EV_RXCHAR) ? POLLIN : 0), 0}, {m_wakeFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      SetLastErrorFromErrno();
      return false;
    }
    if (fds[1].revents & POLLIN) {
      DrainWake();
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_closed) {
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
      }
      // A new mask ends the wait with no events, which is how another thread releases it.
      if (m_maskGeneration != generation) return true;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return false;
    }
    if (fds[0].revents & POLLIN) {
      *events = EV_RXCHAR;
      return true;
    }
  }
}

bool SerialDevice::ReadNow(BYTE* buffer, DWORD count, DWORD* read) {
  *read = 0;
  for (;;) {
    const ssize_t n = ::read(m_fd, buffer, count);
    if (n >= 0) {
      *read = static_cast<DWORD>(n);
      return true;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return true;
    SetLastErrorFromErrno();
    return false;
  }
}

std::uint64_t SerialDevice::WriteDeadline(DWORD count) const {
  COMMTIMEOUTS timeouts{};
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    timeouts = m_timeouts;
  }
  const std::uint64_t total =
      static_cast<std::uint64_t>(timeouts.WriteTotalTimeoutMultiplier) * count + timeouts.WriteTotalTimeoutConstant;
  return total == 0 ? 0 : MonotonicMs() + total;
}

bool SerialDevice::WriteAvailable(const BYTE* data, DWORD count, DWORD* written) {
  while (*written < count) {
    const ssize_t n = ::write(m_fd, data + *written, count - *written);
    if (n > 0) {
      *written += static_cast<DWORD>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      return true;
    } else {
      SetLastErrorFromErrno();
      return false;
    }
  }
  return true;
}

bool SerialDevice::Write(const BYTE* data, DWORD count, DWORD* written) {
  std::lock_guard<std::mutex> lock(m_writeMutex);
  *written = 0;
  const std::uint64_t deadlineMs = WriteDeadline(count);
  for (;;) {
    if (!WriteAvailable(data, count, written)) return false;
    if (*written == count) return true;
    int timeoutMs = -1;
    if (deadlineMs != 0) {
      const std::uint64_t now = MonotonicMs();
      if (now >= deadlineMs) return true;
      timeoutMs = static_cast<int>(deadlineMs - now);
    }
    pollfd fd{m_fd, POLLOUT, 0};
    const int ready = poll(&fd, 1, timeoutMs);
    if (ready < 0 && errno != EINTR) {
      SetLastErrorFromErrno();
      return false;
    }
    if (ready > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return false;
    }
  }
}

}  // namespace platform
