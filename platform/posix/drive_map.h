// Windows drive paths on Linux. "C:/dir/file" and "C:\dir\file" name a file below the drive-C
// directory: $FLASHGATE_DRIVE_C when set, else the user's home directory, where a Linux
// user's own files live as they do under C:\ on Windows. Other paths are
// taken as they are.
#pragma once

#include <string>

namespace platform::posix {

std::string NativePath(const std::string& path);

}  // namespace platform::posix
