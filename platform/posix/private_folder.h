// Folders the program makes for itself in the user's home, such as the port map.
#pragma once

#include <string>

namespace platform::posix {

// Makes `path` with every missing folder above it, each one it makes readable by the user
// alone; folders already there are left as they are. Answers 0, or the errno of the step that
// failed (ENOTDIR when something in the way is not a folder).
int MakePrivateFolders(const std::string& path);

}  // namespace platform::posix
