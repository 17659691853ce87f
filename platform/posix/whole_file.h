// Files replaced whole: after a crash or a full disk a file holds its old contents or its new
// ones, never part of either.
#pragma once

#include <cstddef>
#include <string>

namespace platform::posix {

// Writes `path`.tmp, syncs it, renames it over `path` and syncs the folder; answers 0 or the
// errno of what failed, leaving no temporary file behind.
int ReplaceFileWhole(const std::string& path, const void* data, std::size_t size);

}  // namespace platform::posix
