// libFuzzer target: the settings hive reader over arbitrary text. Every key and value of a text
// it accepts is found by its name in any case, before a save and after the reload, and the
// reloaded hive saves to the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/hive_file.h"

namespace {

using platform::posix::FormatHive;
using platform::posix::Hive;
using platform::posix::ParseHive;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "hive reader fault: %s\n", what);
  std::abort();
}

std::string Lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Every key and value of `original` is in `found` under its name, whatever the case.
void CheckLookups(const Hive& original, const Hive& found) {
  for (const auto& [upperPath, key] : original.Keys()) {
    const platform::posix::HiveKey* foundKey = found.FindKey(Lowered(key.path));
    if (!foundKey || foundKey->path != key.path) Fail("a key is not found by its name");
    for (const platform::posix::HiveValue& value : key.values) {
      const platform::posix::HiveValue* foundValue = found.FindValue(key.path, Lowered(value.name));
      if (!foundValue || foundValue->text != value.text) Fail("a value is not found by its name");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string problem;
  const std::optional<Hive> hive = ParseHive(text, &problem);
  if (!hive) {
    if (problem.empty()) Fail("a refused text without a reason");
    return 0;
  }
  CheckLookups(*hive, *hive);

  const std::string saved = FormatHive(*hive);
  const std::optional<Hive> reloaded = ParseHive(saved, &problem);
  if (!reloaded) Fail("a saved hive does not read back");
  CheckLookups(*hive, *reloaded);
  if (FormatHive(*reloaded) != saved) Fail("a saved hive reads back changed");
  return 0;
}
