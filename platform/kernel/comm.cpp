#include "platform/kernel/comm.h"

#include <strings.h>
#include <cstring>

#include "platform/kernel/com_port.h"
#include "platform/kernel/internal/handle_table.h"
#include "platform/kernel/last_error.h"
#include "platform/kernel/serial_device.h"
#include "platform/kernel/sync.h"
#include "platform/posix/device_names.h"
#include "platform/posix/open_failure.h"
#include "platform/posix/port_map.h"

using platform::SerialDevice;

namespace {

// "COMn" names ports 1 to 9; "\\.\COMn" names any port. Answers 0 for any other name.
unsigned PortNumberFromName(const char* name) {
  const char* const kDevicePrefix = "\\\\.\\";
  const bool devicePath = std::strncmp(name, kDevicePrefix, std::strlen(kDevicePrefix)) == 0;
  if (devicePath) name += std::strlen(kDevicePrefix);
  const unsigned number = platform::ComPortNumber(name);
  return devicePath || number <= 9 ? number : 0;
}

// ".../serial/by-id/usb-X" as "usb-X": the kind of name is the member's.
std::string LinkName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::shared_ptr<SerialDevice> FindDevice(HANDLE file) {
  auto device = platform::LookupHandleAs<SerialDevice>(file);
  if (!device) SetLastError(ERROR_INVALID_HANDLE);
  return device;
}

// Records the end of an I/O in its OVERLAPPED and signals its event.
void Complete(OVERLAPPED* overlapped, DWORD status, DWORD transferred) {
  if (!overlapped) return;
  overlapped->Internal = status;
  overlapped->InternalHigh = transferred;
  if (overlapped->hEvent) SetEvent(overlapped->hEvent);
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD /*access*/, DWORD /*shareMode*/, void* /*securityAttributes*/, DWORD /*creation*/,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
  platform::posix::ClearOpenFailure();
  const unsigned port = name ? PortNumberFromName(name) : 0;
  const std::string path = port ? platform::posix::PortPath(port) : std::string();
  if (path.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto device = SerialDevice::Open(path);
  if (!device) return INVALID_HANDLE_VALUE;
  return platform::InsertHandle(std::move(device));
}

CString platform::DescribeCommOpenFailure(LPCSTR portName) {
  return CString(platform::posix::DescribeLastOpenFailure(portName ? portName : ""));
}

CString platform::DescribePortHolders(LPCSTR portName) {
  const unsigned port = portName ? PortNumberFromName((std::string("\\\\.\\") + portName).c_str()) : 0;
  const std::string device = port ? platform::posix::PortTarget(port) : std::string();
  return CString(device.empty() ? std::string() : platform::posix::DescribeHolders(portName, device));
}

std::vector<platform::PortDescription> platform::ListPorts() {
  namespace posix = platform::posix;
  std::vector<PortDescription> ports;
  for (const auto& link : posix::PortLinks(posix::PortMapDirectory())) {
    const unsigned number = link.first;
    PortDescription port{number, {}, {}, {}, {}};
    const std::string node = posix::RealPath(posix::PortPath(number));
    port.device = node.c_str();
    if (!node.empty()) {
      port.identity = LinkName(posix::SerialLinkTo(posix::DeviceDirectory(), "by-id", node)).c_str();
      port.location = LinkName(posix::SerialLinkTo(posix::DeviceDirectory(), "by-path", node)).c_str();
      for (const posix::Holder& holder : posix::ProcessesHolding(node)) {
        port.holders.push_back(PortHolder{static_cast<DWORD>(holder.pid), holder.name.c_str()});
      }
    }
    ports.push_back(port);
  }
  return ports;
}

DWORD QueryDosDeviceA(LPCSTR deviceName, char* target, DWORD length) {
  // A device name is the port's name without the device-path prefix, for any number.
  const unsigned port = deviceName ? PortNumberFromName((std::string("\\\\.\\") + deviceName).c_str()) : 0;
  const std::string device = port ? platform::posix::PortTarget(port) : std::string();
  if (device.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  if (device.size() + 2 > length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(target, device.c_str(), device.size() + 1);
  target[device.size() + 1] = '\0';
  return static_cast<DWORD>(device.size() + 2);
}

CString platform::QueryPortLocation(LPCSTR portName) {
  const unsigned port = portName ? PortNumberFromName((std::string("\\\\.\\") + portName).c_str()) : 0;
  return CString(port ? platform::posix::PortLocation(port) : std::string());
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, OVERLAPPED* overlapped) {
  const auto device = FindDevice(file);
  if (!device) return FALSE;
  if (overlapped && overlapped->hEvent) ResetEvent(overlapped->hEvent);
  DWORD count = 0;
  if (!device->ReadNow(static_cast<BYTE*>(buffer), toRead, &count)) {
    Complete(overlapped, GetLastError(), 0);
    return FALSE;
  }
  if (read) *read = count;
  Complete(overlapped, ERROR_SUCCESS, count);
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, OVERLAPPED* overlapped) {
  const auto device = FindDevice(file);
  if (!device) return FALSE;
  if (overlapped && overlapped->hEvent) ResetEvent(overlapped->hEvent);
  DWORD count = 0;
  const bool ok = device->Write(static_cast<const BYTE*>(buffer), toWrite, &count);
  const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  if (written) *written = count;
  Complete(overlapped, error, count);
  SetLastError(error);
  return ok ? TRUE : FALSE;
}

BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, LPDWORD transferred, BOOL /*wait*/) {
  if (!FindDevice(file) || !overlapped) return FALSE;
  if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal == ERROR_SUCCESS) return TRUE;
  SetLastError(static_cast<DWORD>(overlapped->Internal));
  return FALSE;
}

BOOL SetCommMask(HANDLE file, DWORD mask) {
  const auto device = FindDevice(file);
  if (!device) return FALSE;
  device->SetMask(mask);
  return TRUE;
}

BOOL WaitCommEvent(HANDLE file, LPDWORD events, OVERLAPPED* overlapped) {
  if (events) *events = 0;
  if (overlapped) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const auto device = FindDevice(file);
  if (!device) return FALSE;
  DWORD happened = 0;
  const bool ok = device->WaitEvent(&happened);
  if (events) *events = happened;
  return ok ? TRUE : FALSE;
}

BOOL SetupComm(HANDLE file, DWORD /*inQueue*/, DWORD /*outQueue*/) {
  // The kernel sizes a terminal's queues itself; only the handle is checked.
  return FindDevice(file) ? TRUE : FALSE;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  const auto device = FindDevice(file);
  return device && device->Purge(flags) ? TRUE : FALSE;
}

BOOL SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts) {
  const auto device = FindDevice(file);
  if (!device || !timeouts) return FALSE;
  device->SetTimeouts(*timeouts);
  return TRUE;
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
  const auto device = FindDevice(file);
  return device && dcb && device->GetState(dcb) ? TRUE : FALSE;
}

BOOL SetCommState(HANDLE file, const DCB* dcb) {
  const auto device = FindDevice(file);
  return device && dcb && device->SetState(*dcb) ? TRUE : FALSE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
  const auto device = FindDevice(file);
  return device && device->Escape(function) ? TRUE : FALSE;
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, COMSTAT* status) {
  if (errors) *errors = 0;
  const auto device = FindDevice(file);
  if (!device) return FALSE;
  COMSTAT current{};
  const bool ok = device->QueueStatus(&current);
  if (status) *status = current;
  return ok ? TRUE : FALSE;
}
