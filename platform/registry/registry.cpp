#include "platform/registry/registry.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/kernel/internal/handle_table.h"
#include "platform/kernel/last_error.h"
#include "platform/posix/hive_file.h"

namespace {

using platform::posix::Hive;
using platform::posix::HiveValue;

struct RegistryKey : platform::KernelObject {
  explicit RegistryKey(std::string below) : path(std::move(below)) {}
  const std::string path;  // below HKEY_LOCAL_MACHINE; empty for the root itself
};

LONG Answer(DWORD error) { return static_cast<LONG>(error); }

// The root holds keys, not values.
std::shared_ptr<const RegistryKey> KeyOf(HKEY key) {
  static const auto root = std::make_shared<const RegistryKey>("");
  if (key == HKEY_LOCAL_MACHINE) return root;
  return platform::LookupHandleAs<RegistryKey>(static_cast<HANDLE>(key));
}

HKEY NewHandle(const std::string& path) {
  return static_cast<HKEY>(platform::InsertHandle(std::make_shared<RegistryKey>(path)));
}

// The path of `subKey` below `parent`; nothing when it names no key the hive can hold.
std::optional<std::string> PathBelow(const RegistryKey& parent, LPCSTR subKey) {
  if (!subKey || !*subKey) return parent.path;
  if (!platform::posix::SplitKeyPath(subKey)) return std::nullopt;
  return parent.path.empty() ? std::string(subKey) : parent.path + "\\" + subKey;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM /*desired*/, PHKEY result) {
  if (!result) return Answer(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  const std::shared_ptr<const RegistryKey> parent = KeyOf(key);
  if (!parent) return Answer(ERROR_INVALID_HANDLE);
  const std::optional<std::string> path = PathBelow(*parent, subKey);
  if (!path) return Answer(ERROR_INVALID_PARAMETER);
  if (!platform::posix::LoadHive().FindKey(*path)) return Answer(ERROR_FILE_NOT_FOUND);
  *result = NewHandle(*path);
  return Answer(ERROR_SUCCESS);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD dataSize) {
  if (reserved || (data && !dataSize)) return Answer(ERROR_INVALID_PARAMETER);
  const std::shared_ptr<const RegistryKey> opened = KeyOf(key);
  if (!opened) return Answer(ERROR_INVALID_HANDLE);
  const Hive hive = platform::posix::LoadHive();
  const HiveValue* value = hive.FindValue(opened->path, valueName ? valueName : "");
  if (!value) return Answer(ERROR_FILE_NOT_FOUND);
  const DWORD needed = static_cast<DWORD>(value->text.size());
  if (type) *type = REG_SZ;
  if (!data) {
    if (dataSize) *dataSize = needed;
    return Answer(ERROR_SUCCESS);
  }
  const bool fits = *dataSize >= needed;
  if (fits) std::memcpy(data, value->text.data(), needed);
  *dataSize = needed;
  return Answer(fits ? ERROR_SUCCESS : ERROR_MORE_DATA);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPCSTR /*keyClass*/, DWORD options, REGSAM /*desired*/,
                     LPSECURITY_ATTRIBUTES /*security*/, PHKEY result, LPDWORD /*disposition*/) {
  if (reserved != 0 || options != REG_OPTION_NON_VOLATILE || !result) return Answer(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  const std::shared_ptr<const RegistryKey> parent = KeyOf(key);
  if (!parent) return Answer(ERROR_INVALID_HANDLE);
  const std::optional<std::string> path = PathBelow(*parent, subKey);
  if (!path || path->empty()) return Answer(ERROR_INVALID_PARAMETER);
  const int error = platform::posix::UpdateHive([&](Hive& hive) { hive.CreateKey(*path); });
  if (error != 0) return Answer(platform::Win32ErrorFromErrno(error));
  *result = NewHandle(*path);
  return Answer(ERROR_SUCCESS);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize) {
  if (reserved != 0 || type != REG_SZ || (!data && dataSize != 0)) return Answer(ERROR_INVALID_PARAMETER);
  const std::shared_ptr<const RegistryKey> opened = KeyOf(key);
  if (!opened) return Answer(ERROR_INVALID_HANDLE);
  const std::string name = valueName ? valueName : "";
  const char* bytes = reinterpret_cast<const char*>(data);
  const std::string text = data ? std::string(bytes, strnlen(bytes, dataSize)) : std::string();
  if (!platform::posix::FitsOnOneLine(name) || !platform::posix::FitsOnOneLine(text)) {
    return Answer(ERROR_INVALID_PARAMETER);
  }
  bool found = false;
  const int error = platform::posix::UpdateHive([&](Hive& hive) {
    found = hive.FindKey(opened->path) != nullptr;
    if (found) hive.SetValue(opened->path, name, text);
  });
  if (error != 0) return Answer(platform::Win32ErrorFromErrno(error));
  return Answer(found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return Answer(ERROR_SUCCESS);
  const HANDLE handle = static_cast<HANDLE>(key);
  if (!platform::LookupHandleAs<RegistryKey>(handle) || !CloseHandle(handle)) return Answer(ERROR_INVALID_HANDLE);
  return Answer(ERROR_SUCCESS);
}
