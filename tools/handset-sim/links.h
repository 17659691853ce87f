// The symbolic links by which the handset shows itself: the port map's comN, a device node,
// udev's names for it.
#pragma once

#include <string>

namespace handset_sim {

// Makes `link` lead to `target`, making its folder as needed. A new link is made under its own
// name in one call, as the kernel makes a node; one already there is replaced in one step
// through a hidden temporary, as udev replaces its links, so nobody finds the name missing
// halfway. Anything but a link in the way is refused, with the reason in `error`.
bool PublishLink(const std::string& target, const std::string& link, std::string* error);

// Removes `link` while it still leads to `target`: another handset may have taken the name
// since, and its link stays.
void RemoveLinkIfOurs(const std::string& link, const std::string& target);

// "`what`: " and the system's words for the last error.
std::string ErrnoText(const std::string& what);

}  // namespace handset_sim
