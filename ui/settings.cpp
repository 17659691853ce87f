#include "ui/settings.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "download/download_type.h"
#include "platform/kernel/last_error.h"
#include "platform/registry/registry.h"
#include "serial/serial_port.h"

CString ReadRegString(const CString& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return CString();
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    RegCloseKey(key);
    return CString();
  }
  // Sized from the value itself, as a folder path may be longer than any fixed buffer; one byte
  // more so that even an empty value is read into a buffer.
  std::vector<BYTE> buffer(size + 1);
  if (RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS) {
    RegCloseKey(key);
    return CString();
  }
  RegCloseKey(key);
  // The writer stores no terminating NUL, so the text ends at the returned size.
  const char* text = reinterpret_cast<const char*>(buffer.data());
  return CString(text, static_cast<int>(strnlen(text, size)));
}

bool WriteRegString(const CString& name, const CString& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, 0, SETTINGS_KEY_CLASS, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.GetString()),
                                     static_cast<DWORD>(value.GetLength()));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

int ReadRegInt(const CString& name, int defaultValue) {
  const CString text = ReadRegString(name);
  if (text.IsEmpty()) return defaultValue;
  // Out of range, the number is held at the nearest int, as atol holds it at the nearest long.
  const long long number = std::strtoll(text, nullptr, 10);
  if (number > INT_MAX) return INT_MAX;
  if (number < INT_MIN) return INT_MIN;
  return static_cast<int>(number);
}

void WriteRegInt(const CString& name, int value) {
  CString text;
  text.Format("%d", value);
  WriteRegString(name, text);
}

int StoredPortNumber(CString* why) {
  why->Empty();
  const int port = ReadRegInt(kPortValue, 1);
  // A number beyond the ports would open another port once cut to the port's byte.
  if (port >= 1 && port <= CSerialPort::kLastPortNumber) return port;
  why->Format("The stored port (%s \"%s\") is not one of COM1 to COM255 and is not used.", kPortValue,
              ReadRegString(kPortValue).GetString());
  return 1;
}

const DownloadType* StoredDownloadType() {
  return DownloadTypeStoredAs(ReadRegInt(kDownloadTypeValue, DownloadTypes()[0].storedValue));
}
