// The user's home directory: $HOME, else the password database's entry, else "/".
#pragma once

#include <string>

namespace platform::posix {

std::string HomeDirectory();

}  // namespace platform::posix
