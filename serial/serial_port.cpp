#include "serial/serial_port.h"

#include <algorithm>

#include "platform/kernel/clock.h"
#include "platform/kernel/com_port.h"
#include "platform/kernel/handles.h"
#include "platform/kernel/last_error.h"
#include "platform/kernel/sync.h"

std::atomic<BOOL> g_bPortOpen{FALSE};

namespace {

constexpr DWORD kQueueSize = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kSettleMs = 100;

// Ports 1 to 4 go by their short name; from 5 on the device path form is needed.
CString DeviceName(BYTE portNumber) {
  const std::string name = platform::ComPortName(portNumber);
  return CString(portNumber < 5 ? name : "\\\\.\\" + name);
}

}  // namespace

CSerialPort::CSerialPort() {
  SetLineSettings(1, 57600, 8, ONESTOPBIT, NOPARITY);
  g_bPortOpen = FALSE;
}

CSerialPort::~CSerialPort() { Release(); }

void CSerialPort::SetLineSettings(BYTE portNumber, DWORD baudRate, BYTE byteSize, BYTE stopBits, BYTE parity) {
  m_nPortNumber = portNumber;
  m_dwBaudRate = baudRate;
  m_nByteSize = byteSize;
  m_nStopBits = stopBits;
  m_nParity = parity;
}

bool CSerialPort::Attach(CWnd* owner, CLogQueue* logQueue) {
  m_pOwner = owner;
  m_pLogQueue = logQueue;
  ClearEvents();
  m_readOverlapped.Offset = m_readOverlapped.OffsetHigh = 0;
  m_writeOverlapped.Offset = m_writeOverlapped.OffsetHigh = 0;
  m_readOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!m_readOverlapped.hEvent) return false;
  m_writeOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!m_writeOverlapped.hEvent) {
    ClearEvents();
    return false;
  }
  return true;
}

void CSerialPort::ClearEvents() {
  for (OVERLAPPED* overlapped : {&m_readOverlapped, &m_writeOverlapped}) {
    if (overlapped->hEvent) CloseHandle(overlapped->hEvent);
    overlapped->hEvent = nullptr;
  }
}

bool CSerialPort::Open() {
  // No receive thread runs while a port opens: a frame half gathered on the old line, and an
  // answer the old connection never handed over, are gone.
  RestartReceive();
  m_responses.Clear();
  g_bPortOpen = FALSE;
  // A handle left from an earlier Open would otherwise stay open, and the port locked, for good.
  if (const HANDLE stale = m_hComm.exchange(nullptr)) CloseHandle(stale);

  const HANDLE handle = CreateFileA(DeviceName(m_nPortNumber), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  m_hComm = handle;

  SetCommMask(handle, EV_RXCHAR);
  SetupComm(handle, kQueueSize, kQueueSize);
  PurgeComm(handle, kPurgeAll);
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 1000;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 1000;
  SetCommTimeouts(handle, &timeouts);

  if (!ApplyLineSettings()) {
    g_bPortOpen = FALSE;
    CloseHandle(handle);
    m_hComm = nullptr;
    return false;
  }
  Sleep(kSettleMs);
  g_bPortOpen = TRUE;
  return true;
}

bool CSerialPort::ApplyLineSettings() {
  const HANDLE handle = m_hComm.load();
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  GetCommState(handle, &dcb);
  dcb.BaudRate = m_dwBaudRate;
  dcb.ByteSize = m_nByteSize;
  dcb.Parity = m_nParity;
  dcb.StopBits = m_nStopBits;
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  return SetCommState(handle, &dcb) != FALSE;
}

bool CSerialPort::Close() {
  if (!g_bPortOpen) return false;
  g_bPortOpen = FALSE;
  const HANDLE handle = m_hComm.load();
  // An empty mask releases the receive thread from its wait.
  SetCommMask(handle, 0);
  EscapeCommFunction(handle, CLRDTR);
  EscapeCommFunction(handle, CLRRTS);
  PurgeComm(handle, kPurgeAll);
  if (handle) {
    CloseHandle(handle);
    m_hComm = nullptr;
  }
  return true;
}

bool CSerialPort::Release() {
  ClearEvents();
  m_readOverlapped.Offset = m_readOverlapped.OffsetHigh = 0;
  m_writeOverlapped.Offset = m_writeOverlapped.OffsetHigh = 0;
  Close();
  return true;
}

bool CSerialPort::WriteByte(BYTE b) { return WriteOverlapped(&b, 1); }

bool CSerialPort::WriteBuffer(const BYTE* data, DWORD count) { return WriteOverlapped(data, count); }

bool CSerialPort::WriteOverlapped(const BYTE* data, DWORD count) {
  if (!g_bPortOpen) return false;
  const HANDLE handle = m_hComm.load();
  DWORD written = 0;
  if (WriteFile(handle, data, count, &written, &m_writeOverlapped)) return written == count;

  DWORD errors = 0;
  COMSTAT status{};
  if (GetLastError() != ERROR_IO_PENDING) {
    ClearCommError(handle, &errors, &status);
    return false;
  }
  for (;;) {
    // A write that timed out completes with part of the bytes: that is a failed write.
    if (GetOverlappedResult(handle, &m_writeOverlapped, &written, TRUE)) return written == count;
    if (GetLastError() == ERROR_IO_INCOMPLETE) continue;
    ClearCommError(handle, &errors, &status);
    return false;
  }
}

DWORD CSerialPort::ReadAvailable(BYTE* buffer, DWORD maxCount) {
  const HANDLE handle = m_hComm.load();
  DWORD errors = 0;
  COMSTAT status{};
  ClearCommError(handle, &errors, &status);
  const DWORD count = std::min(maxCount, status.cbInQue);
  if (count == 0) return 0;
  // The bytes are waiting, so the read completes at once and needs no event; a structure of its
  // own keeps this thread off the read event, which a stop closes from the other thread.
  OVERLAPPED overlapped{};
  DWORD read = 0;
  if (!ReadFile(handle, buffer, count, &read, &overlapped)) return 0;
  return read;
}
