// The user's folders: the home directory, and the program's folder for what it keeps on this
// machine.
#pragma once

#include <string>

namespace platform::posix {

// $HOME, else the password database's entry, else "/".
std::string HomeDirectory();
// "flashgate" in the user's state folder: $XDG_STATE_HOME when it names an absolute path, else
// ~/.local/state.
std::string StateDirectory();

}  // namespace platform::posix
