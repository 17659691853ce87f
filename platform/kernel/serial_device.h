// The object behind a comm handle: a terminal file descriptor in raw mode, plus an eventfd
// that wakes a thread blocked in WaitEvent when the event mask changes or the handle closes.
//
// The object lives as long as anybody uses it; its descriptors close with the last reference.
// Closing the handle gives up the exclusive lock at once, so the port can be opened again
// while a late thread still holds a reference.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/kernel/comm.h"
#include "platform/kernel/internal/handle_table.h"

namespace platform {

class SerialDevice final : public KernelObject {
 public:
  // Opens, locks and puts the device into raw mode; on failure sets the last error.
  static std::shared_ptr<SerialDevice> Open(const std::string& path);
  ~SerialDevice() override;
  void OnHandleClosed() override;

  bool GetState(DCB* dcb) const;
  bool SetState(const DCB& dcb);
  bool Escape(DWORD function);
  bool Purge(DWORD flags);
  bool QueueStatus(COMSTAT* status) const;
  void SetTimeouts(const COMMTIMEOUTS& timeouts);

  void SetMask(DWORD mask);
  bool WaitEvent(DWORD* events);

  // Reads what is waiting, never blocking; false on a device error.
  bool ReadNow(BYTE* buffer, DWORD count, DWORD* read);
  // Writes every byte, waiting for the device as long as the write time-out allows; false on a
  // device error. A write that times out ends with what went out, as one does on Windows.
  bool Write(const BYTE* data, DWORD count, DWORD* written);

 private:
  SerialDevice(int fd, int wakeFd) : m_fd(fd), m_wakeFd(wakeFd) {}

  void Wake();
  void DrainWake();
  // Writes what the device takes now; false on a device error.
  bool WriteAvailable(const BYTE* data, DWORD count, DWORD* written);
  std::uint64_t WriteDeadline(DWORD count) const;

  const int m_fd;
  const int m_wakeFd;
  // Guards the mask, its generation, the closed mark and the time-outs.
  mutable std::mutex m_mutex;
  DWORD m_mask = 0;
  std::uint64_t m_maskGeneration = 0;
  bool m_closed = false;
  COMMTIMEOUTS m_timeouts{};
  // Held for a whole write, waits included, so a waiting writer never blocks the reader.
  std::mutex m_writeMutex;
};

}  // namespace platform
