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

std::vector<std::filesystem::path> RegressionInputs() {
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(FLASHGATE_FUZZ_REGRESSIONS)) {
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Test names allow letters, digits and underscores only.
std::string TestName(const testing::TestParamInfo<std::filesystem::path>& info) {
  std::string name = info.param.filename().string();
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

class FeedReceivedRegression : public testing::TestWithParam<std::filesystem::path> {};

TEST_P(FeedReceivedRegression, ReplaysCleanly) {
  const std::vector<std::uint8_t> input = ReadAll(GetParam());
  ASSERT_FALSE(input.empty()) << GetParam();
  EXPECT_EQ(0, LLVMFuzzerTestOneInput(input.data(), input.size()));
}

INSTANTIATE_TEST_SUITE_P(Kept, FeedReceivedRegression, testing::ValuesIn(RegressionInputs()), TestName);

}  // namespace
