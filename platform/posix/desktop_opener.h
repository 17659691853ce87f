// The desktop's own opener: the program the user's desktop opens a file with (xdg-open).
#pragma once

#include <string>

namespace platform::posix {

// Hands `path` to xdg-open, found on PATH, and returns without waiting for what it opens.
// Answers 0, ENOENT when there is no such file, or ENOEXEC when there is no opener to use.
int OpenWithDesktop(const std::string& path);

}  // namespace platform::posix
