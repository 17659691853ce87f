// libFuzzer target: the settings hive reader over arbitrary text. A text it accepts must
// survive a save and a reload unchanged, and every key and value it holds must be found
// again by name, whatever the case.
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

void CheckLookups(const Hive& hive) {
  for (const auto& [upperPath, key] : hive.Keys()) {
    if (hive.FindKey(Lowered(key.path)) != &key) Fail("a key is not found by its name");
    for (const platform::posix::HiveValue& value : key.values) {
      const platform::posix::HiveValue* found = hive.FindValue(key.path, Lowered(value.name));
      if (!found || found->text != value.text) Fail("a value is not found by its name");
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
  CheckLookups(*hive);

  const std::string saved = FormatHive(*hive);
  const std::optional<Hive> reloaded = ParseHive(saved, &problem);
  if (!reloaded) Fail("a saved hive does not read back");
  if (FormatHive(*reloaded) != saved) Fail("a saved hive reads back changed");
  return 0;
}
