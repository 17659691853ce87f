#include "platform/posix/home_dir.h"

#include <pwd.h>
#include <unistd.h>
#include <cstdlib>

namespace platform::posix {

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

std::string StateDirectory() {
  const char* state = std::getenv("XDG_STATE_HOME");
  return (state && state[0] == '/' ? std::string(state) : HomeDirectory() + "/.local/state") + "/flashgate";
}

}  // namespace platform::posix
