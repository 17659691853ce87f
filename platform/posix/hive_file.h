// The registry hive: the keys below HKEY_LOCAL_MACHINE and their string values, kept in one
// text file in the REGEDIT4 form a technician can read and edit:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\KORVANT\DOWNLOADER]
//   "VOD_PORT"="7"
//
// Strings escape only \\ and \"; text is UTF-8 and goes through byte for byte. Every key has
// its own section, parents before children, as regedit exports them; a section names its
// missing parents implicitly. Names compare without regard to ASCII case and keep the case
// they were created with. Only string values exist. A key's class has no place in the form
// and is not kept. Lines starting with ';' are comments, read past and not kept by a save.
//
// The file is $FLASHGATE_REGISTRY when set, else ~/.config/flashgate/registry.reg. A missing
// file holds no key. A file that cannot be read, or is not wholly understood, also reads as
// holding no key; before the first save replaces it, it is kept aside as
// <file>.bad-<unix time>, and stderr says so.
//
// Saving never leaves a half-written hive: the new text goes to <file>.tmp, is flushed to the
// disk and renamed over the hive, and the directory is flushed too; a save cut short leaves only
// <file>.tmp behind, which the next save reuses. Writers hold an exclusive flock on <file>.lock
// from reading the hive to renaming the new one; readers hold a shared one.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform::posix {

struct HiveValue {
  std::string name;  // empty for the key's default value
  std::string text;
};

struct HiveKey {
  std::string path;  // below HKEY_LOCAL_MACHINE, e.g. "SOFTWARE\\KORVANT"
  std::vector<HiveValue> values;
};

class Hive {
 public:
  const HiveKey* FindKey(const std::string& path) const;
  // Nothing when the key or the value is missing.
  const HiveValue* FindValue(const std::string& path, const std::string& name) const;
  // Adds the key and its missing parents; the path is one SplitKeyPath accepts.
  void CreateKey(const std::string& path);
  // The key must exist.
  void SetValue(const std::string& path, const std::string& name, const std::string& text);
  const std::map<std::string, HiveKey>& Keys() const { return m_keys; }

 private:
  std::map<std::string, HiveKey> m_keys;  // by upper-case path, so parents come before children
};

// True when a name is fit for a key path component, a value name or a value text: it must
// stay on one line of the file.
bool FitsOnOneLine(const std::string& text);
// Splits "A\\B\\C" into its names; nothing when a name is empty or does not fit on a line.
std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path);

// Nothing when the text is not a hive we fully understand; `problem` then says why.
std::optional<Hive> ParseHive(const std::string& text, std::string* problem);
std::string FormatHive(const Hive& hive);

std::string HivePath();
std::string HiveLockPath();

// The hive as it is now; empty when missing, unreadable or damaged.
Hive LoadHive();
// Reads the hive, lets `change` alter it and saves the result, all under the writers' lock.
// Nothing is saved when `change` leaves the hive as it was. Answers 0 or the errno of what failed.
int UpdateHive(const std::function<void(Hive&)>& change);

}  // namespace platform::posix
