// JSON Lines for scripts: one object a line, with "v": 1, written and flushed at once.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace json_lines {

// Members keep the order they are written in.
using Json = nlohmann::ordered_json;

inline Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

inline void Write(std::FILE* out, const Json& line) {
  // Names from the system are not always UTF-8: such bytes are replaced rather than refused.
  std::fprintf(out, "%s\n", line.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
  std::fflush(out);
}

}  // namespace json_lines
