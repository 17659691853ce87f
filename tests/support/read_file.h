// A whole file as bytes in a string; empty when it cannot be read.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace testing_support
