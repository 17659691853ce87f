// The desktop's own opener: the program the user's desktop opens a file with (xdg-open).
#pragma once

#include <string>

namespace platform::posix {

// Hands `path` to xdg-open, found on PATH, and returns within a second, leaving what it opens
// running. Answers 0, the errno of a file that cannot be found, or ENOEXEC when there is no
// opener or it failed.
int OpenWithDesktop(const std::string& path);

}  // namespace platform::posix
