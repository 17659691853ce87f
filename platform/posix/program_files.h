// Where the program's own installed files are: beside the executable, under the prefix it was
// installed into (/usr for the package, /usr/local for a build installed by hand).
#pragma once

#include <string>

namespace platform::posix {

// The program's documentation folder ("<prefix>/share/doc/flashgate"); empty when the program
// runs from a build tree, which has none.
std::string DocumentationFolder();

}  // namespace platform::posix
