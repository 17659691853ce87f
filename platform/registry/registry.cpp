#include "platform/registry/registry.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/kernel/handles.h"
#include "platform/kernel/last_error.h"
#include "platform/posix/hive_file.h"

namespace {

using platform::posix::Hive;
using platform::posix::HiveValue;

class RegistryKey : public platform::KernelObject {
 public:
  RegistryKey(std::string path, REGSAM access) : m_path(std::move(path)), m_access(access) {}

  const std::string& Path() const { return m_path; }
  bool Allows(REGSAM rights) const { return (m_access & rights) == rights; }

 private:
  std::string m_path;  // below HKEY_LOCAL_MACHINE; empty for the root itself
  REGSAM m_access;
};

LONG Answer(DWORD error) { return static_cast<LONG>(error); }

// The root holds keys, not values.
std::shared_ptr<const RegistryKey> KeyOf(HKEY key) {
  static const auto root = std::make_shared<const RegistryKey>("", KEY_READ);
  if (key == HKEY_LOCAL_MACHINE) return root;
  return platform::LookupHandleAs<RegistryKey>(static_cast<HANDLE>(key));
}

HKEY NewHandle(const std::string& path, REGSAM access) {
  return static_cast<HKEY>(platform::InsertHandle(std::make_shared<RegistryKey>(path, access)));
}

// The path of `subKey` below `parent`; nothing when it names no key the hive can hold.
std::optional<std::string> PathBelow(const RegistryKey& parent, LPCSTR subKey) {
  if (!subKey || !*subKey) return parent.Path();
  if (!platform::posix::SplitKeyPath(subKey)) return std::nullopt;
  return parent.Path().empty() ? std::string(subKey) : parent.Path() + "\\" + subKey;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM desired, PHKEY result) {
  if (!result) return Answer(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  const std::shared_ptr<const RegistryKey> parent = KeyOf(key);
  if (!parent) return Answer(ERROR_INVALID_HANDLE);
  const std::optional<std::string> path = PathBelow(*parent, subKey);
  if (!path) return Answer(ERROR_INVALID_PARAMETER);
  if (!platform::posix::LoadHive().FindKey(*path)) return Answer(ERROR_FILE_NOT_FOUND);
  *result = NewHandle(*path, desired);
  return Answer(ERROR_SUCCESS);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, BYTE* data, LPDWORD dataSize) {
  if (reserved || (data && !dataSize)) return Answer(ERROR_INVALID_PARAMETER);
  const std::shared_ptr<const RegistryKey> opened = KeyOf(key);
  if (!opened) return Answer(ERROR_INVALID_HANDLE);
  if (!opened->Allows(KEY_QUERY_VALUE)) return Answer(ERROR_ACCESS_DENIED);
  const Hive hive = platform::posix::LoadHive();
  const HiveValue* value = hive.FindValue(opened->Path(), valueName ? valueName : "");
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

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPCSTR /*keyClass*/, DWORD options, REGSAM desired,
                     LPSECURITY_ATTRIBUTES /*security*/, PHKEY result, LPDWORD disposition) {
  if (reserved != 0 || options != REG_OPTION_NON_VOLATILE || !result) return Answer(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  const std::shared_ptr<const RegistryKey> parent = KeyOf(key);
  if (!parent) return Answer(ERROR_INVALID_HANDLE);
  const std::optional<std::string> path = PathBelow(*parent, subKey);
  if (!path || path->empty()) return Answer(ERROR_INVALID_PARAMETER);
  bool created = false;
  const int error = platform::posix::UpdateHive([&](Hive& hive) { created = hive.CreateKey(*path); });
  if (error != 0) return Answer(platform::Win32ErrorFromErrno(error));
  *result = NewHandle(*path, desired);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return Answer(ERROR_SUCCESS);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize) {
  if (reserved != 0 || type != REG_SZ || (!data && dataSize != 0)) return Answer(ERROR_INVALID_PARAMETER);
  const std::shared_ptr<const RegistryKey> opened = KeyOf(key);
  if (!opened) return Answer(ERROR_INVALID_HANDLE);
  if (!opened->Allows(KEY_SET_VALUE)) return Answer(ERROR_ACCESS_DENIED);
  const std::string name = valueName ? valueName : "";
  const char* bytes = reinterpret_cast<const char*>(data);
  const std::string text = data ? std::string(bytes, strnlen(bytes, dataSize)) : std::string();
  if (!platform::posix::FitsOnOneLine(name) || !platform::posix::FitsOnOneLine(text)) {
    return Answer(ERROR_INVALID_PARAMETER);
  }
  bool found = false;
  const int error = platform::posix::UpdateHive([&](Hive& hive) {
    found = hive.FindKey(opened->Path()) != nullptr;
    if (found) hive.SetValue(opened->Path(), name, text);
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
