// Serial communications in the shape of the Win32 comm API.
//
// CreateFileA opens "COMn" (n from 1 to 9) and "\\.\COMn" (any n); the number is looked up
// in the port map (see platform/posix/port_map.h). A port is always opened exclusively.
// A port carries 8-bit bytes without flow control; SetCommState refuses any other DCB.
// Reads never wait: ReadFile answers with the bytes already received, possibly none, and
// ClearCommError tells how many there are (cbInQue).
// A write, with an OVERLAPPED or without, is finished before WriteFile returns: every byte, or
// what went out within the write time-out. GetOverlappedResult reports the finished write.
#pragma once

#include <vector>

#include "platform/kernel/text.h"
#include "platform/kernel/types.h"

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

constexpr DWORD EV_RXCHAR = 0x0001;

constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// EscapeCommFunction functions: the program only ever drops the modem lines.
constexpr DWORD CLRRTS = 4;
constexpr DWORD CLRDTR = 6;

// A handset line has no parity and one stop bit.
constexpr BYTE NOPARITY = 0;
constexpr BYTE ONESTOPBIT = 0;

constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;

struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};

// The line settings; of the flow control, only what SetCommState refuses.
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fRtsControl : 2;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
};

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};

struct COMSTAT {
  DWORD cbInQue;
};

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, void* securityAttributes, DWORD creation,
                   DWORD flagsAndAttributes, HANDLE templateFile);
// The device behind the port name "COMn" (the target of its link in the port map), into
// `target` with a second NUL after it as QueryDosDevice's list form has on Windows. Answers the characters
// stored with both NULs; 0 when there is no such port or the buffer is too small.
DWORD QueryDosDeviceA(LPCSTR deviceName, char* target, DWORD length);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, OVERLAPPED* overlapped);
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, LPDWORD transferred, BOOL wait);

BOOL SetCommMask(HANDLE file, DWORD mask);
// Only the blocking form (no OVERLAPPED) is offered. Returns with an empty mask when the
// mask is changed or the handle closed meanwhile, or when the device goes away.
BOOL WaitCommEvent(HANDLE file, LPDWORD events, OVERLAPPED* overlapped);
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts);
BOOL GetCommState(HANDLE file, DCB* dcb);
BOOL SetCommState(HANDLE file, const DCB* dcb);
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL ClearCommError(HANDLE file, LPDWORD errors, COMSTAT* status);

// Ours, beside the comm calls; Windows has no such calls.
namespace platform {

// Why the last CreateFileA of a comm port on this thread failed, in a sentence for the
// operator that calls the port `portName`: the permission the user lacks, or the program that
// holds the port. Empty when there is nothing to add (no such port, say).
CString DescribeCommOpenFailure(LPCSTR portName);
// The socket the device behind the port name "COMn" (any n) is plugged into, as Windows knows
// it from the device's location path: the name the system gives that socket, which stays the
// same when the device comes back under another identity. Empty when the port leads to no
// device or the socket has no name.
CString QueryPortLocation(LPCSTR portName);
// Who else has the device behind the port name "COMn" open, in a sentence for the operator:
// "COM3 (/dev/ttyACM0) is held by minicom (pid 4242)". Empty when no other process this user
// can see holds it, or the port leads to no device. Two readers of one port lose data, and an open does
// not fail for a holder that took no lock.
CString DescribePortHolders(LPCSTR portName);

// What is known of a port of the system, as Windows keeps it of a device with its hardware id,
// location path and the handles open on it.
struct PortHolder {
  DWORD processId;
  CString name;
};
struct PortDescription {
  unsigned number;   // COMn
  CString device;    // the device node it leads to; empty when it leads nowhere now
  CString identity;  // the name the device gives itself ("usb-Maker_Handset-if00"); empty when none
  CString location;  // the name of the socket it is plugged into ("pci-0000:00:14.0-usb-0:1:1.0"); or empty
  std::vector<PortHolder> holders;  // the processes this user can see that have it open
};
// Every port, in number order.
std::vector<PortDescription> ListPorts();

}  // namespace platform
