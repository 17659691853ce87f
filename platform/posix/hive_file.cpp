#include "platform/posix/hive_file.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/posix/home_dir.h"
#include "platform/posix/whole_file.h"

namespace platform::posix {
namespace {

constexpr char kHeader[] = "REGEDIT4";
constexpr char kRootPrefix[] = "HKEY_LOCAL_MACHINE\\";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperCase(std::string text) {
  for (char& c : text) c = UpperAscii(c);
  return text;
}

bool SameName(const std::string& a, const std::string& b) { return UpperCase(a) == UpperCase(b); }

// ---- The text form ----

std::string_view Trimmed(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = line.find_last_not_of(" \t\r");
  return line.substr(first, last - first + 1);
}

void SkipBlanks(std::string_view line, size_t& pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

// Reads "text" with its \\ and \" escapes, from the opening quote at pos to past the closing one.
bool ReadQuoted(std::string_view line, size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\') {
      if (++pos >= line.size() || (line[pos] != '\\' && line[pos] != '"')) return false;
      c = line[pos];
    }
    out += c;
  }
  return false;
}

// "name"="text", or @="text" for the default value. Other value types are not ours.
std::optional<HiveValue> ParseValueLine(std::string_view line) {
  HiveValue value;
  size_t pos = 0;
  if (line[0] == '@') {
    pos = 1;
  } else if (!ReadQuoted(line, pos, value.name)) {
    return std::nullopt;
  }
  SkipBlanks(line, pos);
  if (pos >= line.size() || line[pos] != '=') return std::nullopt;
  ++pos;
  SkipBlanks(line, pos);
  if (!ReadQuoted(line, pos, value.text)) return std::nullopt;
  if (pos != line.size()) return std::nullopt;
  return value;
}

// The path below HKEY_LOCAL_MACHINE named by the inside of a [section] line.
std::optional<std::string> SectionKeyPath(std::string_view inside) {
  const size_t prefixLength = std::strlen(kRootPrefix);
  if (inside.size() <= prefixLength || UpperCase(std::string(inside.substr(0, prefixLength))) != kRootPrefix) {
    return std::nullopt;
  }
  std::string path(inside.substr(prefixLength));
  if (!SplitKeyPath(path)) return std::nullopt;
  return path;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// ---- The file ----

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File OpenFile(const std::string& path, const char* mode) { return File(std::fopen(path.c_str(), mode), &std::fclose); }

std::string DirectoryOf(const std::string& path) {
  const std::string parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

bool Lock(std::FILE* file, int operation) {
  while (flock(fileno(file), operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// A reader waits for a save in progress. Without a lock file nothing was ever saved, and
// reading creates nothing; the hive is whole at every moment anyway, so reading unlocked is safe.
File LockForReading() {
  File lock = OpenFile(HiveLockPath(), "re");
  if (lock) Lock(lock.get(), LOCK_SH);
  return lock;
}

// Answers 0 or the errno of the failure.
int LockForWriting(File& lock) {
  std::error_code error;
  std::filesystem::create_directories(DirectoryOf(HivePath()), error);
  if (error) return error.value();
  lock = OpenFile(HiveLockPath(), "ae");
  if (!lock || !Lock(lock.get(), LOCK_EX)) return errno;
  return 0;
}

// Answers 0 or the errno of the failure.
int ReadWholeFile(const std::string& path, std::string& text) {
  const File file = OpenFile(path, "re");
  if (!file) return errno;
  char buffer[16384];
  while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get())) text.append(buffer, count);
  return std::ferror(file.get()) ? errno : 0;
}

struct HiveFile {
  Hive hive;
  bool damaged = false;
  std::string problem;
};

HiveFile ReadHiveFile(const std::string& path) {
  HiveFile file;
  std::string text;
  if (const int error = ReadWholeFile(path, text); error != 0) {
    file.damaged = error != ENOENT;
    file.problem = std::strerror(error);
    return file;
  }
  if (std::optional<Hive> hive = ParseHive(text, &file.problem)) {
    file.hive = std::move(*hive);
  } else {
    file.damaged = true;
  }
  return file;
}

// A hive we do not understand may hold what a technician typed by hand: it is kept, not replaced.
int SetAside(const std::string& path, const std::string& problem) {
  const std::string base = path + ".bad-" + std::to_string(static_cast<long long>(std::time(nullptr)));
  std::string aside = base;
  struct stat info {};
  for (int n = 1; lstat(aside.c_str(), &info) == 0; ++n) aside = base + "-" + std::to_string(n);
  if (rename(path.c_str(), aside.c_str()) != 0) return errno;
  std::fprintf(stderr,
               "flashgate: the settings file %s could not be used (%s); it is kept as %s and a new one is started\n",
               path.c_str(), problem.c_str(), aside.c_str());
  return 0;
}

}  // namespace

// ---- The hive in memory ----

const HiveKey* Hive::FindKey(const std::string& path) const {
  const auto found = m_keys.find(UpperCase(path));
  return found == m_keys.end() ? nullptr : &found->second;
}

const HiveValue* Hive::FindValue(const std::string& path, const std::string& name) const {
  const HiveKey* key = FindKey(path);
  if (!key) return nullptr;
  for (const HiveValue& value : key->values) {
    if (SameName(value.name, name)) return &value;
  }
  return nullptr;
}

void Hive::CreateKey(const std::string& path) {
  std::string upperPath;
  std::string storedPath;
  const std::vector<std::string> names = *SplitKeyPath(path);
  for (const std::string& name : names) {
    upperPath += (upperPath.empty() ? "" : "\\") + UpperCase(name);
    const auto [key, inserted] = m_keys.try_emplace(upperPath);
    if (inserted) key->second.path = storedPath.empty() ? name : storedPath + "\\" + name;
    storedPath = key->second.path;
  }
}

void Hive::SetValue(const std::string& path, const std::string& name, const std::string& text) {
  HiveKey& key = m_keys.at(UpperCase(path));
  for (HiveValue& value : key.values) {
    if (SameName(value.name, name)) {
      value.text = text;
      return;
    }
  }
  key.values.push_back({name, text});
}

bool FitsOnOneLine(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }

std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find('\\', start);
    names.push_back(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (names.back().empty() || !FitsOnOneLine(names.back())) return std::nullopt;
    if (end == std::string::npos) return names;
    start = end + 1;
  }
}

std::optional<Hive> ParseHive(const std::string& text, std::string* problem) {
  std::string_view rest = text;
  if (rest.substr(0, 3) == kByteOrderMark) rest.remove_prefix(3);
  Hive hive;
  std::optional<std::string> currentKey;
  int lineNumber = 0;
  const auto fail = [&](const char* why) -> std::optional<Hive> {
    *problem = "line " + std::to_string(lineNumber) + ": " + why;
    return std::nullopt;
  };
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = Trimmed(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (++lineNumber == 1) {
      if (line != kHeader) return fail("not a REGEDIT4 file");
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return fail("a key line without its closing bracket");
      currentKey = SectionKeyPath(line.substr(1, line.size() - 2));
      if (!currentKey) return fail("a key outside HKEY_LOCAL_MACHINE or with an empty name");
      hive.CreateKey(*currentKey);
      continue;
    }
    if (!currentKey) return fail("a value outside any key");
    const std::optional<HiveValue> value = ParseValueLine(line);
    if (!value) return fail("not a \"name\"=\"text\" value");
    hive.SetValue(*currentKey, value->name, value->text);
  }
  if (lineNumber == 0) return fail("the file is empty");
  return hive;
}

std::string FormatHive(const Hive& hive) {
  std::string text = std::string(kHeader) + "\n\n";
  for (const auto& [upperPath, key] : hive.Keys()) {
    text += "[" + std::string(kRootPrefix) + key.path + "]\n";
    for (const HiveValue& value : key.values) {
      text += (value.name.empty() ? std::string("@") : Quoted(value.name)) + "=" + Quoted(value.text) + "\n";
    }
    text += "\n";
  }
  return text;
}

std::string HivePath() {
  if (const char* path = std::getenv("FLASHGATE_REGISTRY"); path && *path) return path;
  return HomeDirectory() + "/.config/flashgate/registry.reg";
}

std::string HiveLockPath() { return HivePath() + ".lock"; }

Hive LoadHive() {
  const File lock = LockForReading();
  return ReadHiveFile(HivePath()).hive;
}

int UpdateHive(const std::function<void(Hive&)>& change) {
  File lock(nullptr, &std::fclose);
  if (const int error = LockForWriting(lock)) return error;
  const std::string path = HivePath();
  const HiveFile current = ReadHiveFile(path);
  Hive changed = current.hive;
  change(changed);
  const std::string text = FormatHive(changed);
  if (text == FormatHive(current.hive)) return 0;
  if (current.damaged) {
    if (const int error = SetAside(path, current.problem)) return error;
  }
  return ReplaceFileWhole(path, text.data(), text.size());
}

}  // namespace platform::posix
