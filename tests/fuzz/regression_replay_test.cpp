// Replays every input kept in the regression folder through the fuzz target, so that inputs
// that once found a fault, and the seeds the fuzzer starts from, are checked in every build.
// A fault aborts the run, as it does under the fuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

const std::filesystem::path kRegressions = FLASHGATE_FUZZ_REGRESSIONS;

std::vector<std::string> RegressionInputs() {
  std::vector<std::string> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(kRegressions)) {
    if (entry.is_regular_file()) inputs.push_back(entry.path().filename().string());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Test names allow letters, digits and underscores only.
std::string TestName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

class KeptInput : public testing::TestWithParam<std::string> {};

TEST_P(KeptInput, ReplaysCleanly) {
  const std::vector<std::uint8_t> input = ReadAll(kRegressions / GetParam());
  LLVMFuzzerTestOneInput(input.data(), input.size());
}

INSTANTIATE_TEST_SUITE_P(Fuzz, KeptInput, testing::ValuesIn(RegressionInputs()), TestName);

}  // namespace
