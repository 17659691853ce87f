// Files replaced whole: after a crash or a full disk a file holds its old contents or its new
// ones, never part of either.
#pragma once

#include <cstddef>
#include <string>

#include "platform/kernel/types.h"

namespace platform::posix {

// Writes `path`.tmp, syncs it, renames it over `path` and syncs the folder; answers
// ERROR_SUCCESS or the Win32 code of what failed, leaving no temporary file behind.
DWORD ReplaceFileWhole(const std::string& path, const void* data, std::size_t size);

}  // namespace platform::posix
