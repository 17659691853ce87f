#include "platform/posix/desktop_opener.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace platform::posix {
namespace {

// The shell checks that there is an opener, starts it in the background and exits at once:
// the opener may run for as long as the browser it starts, and nobody waits for it.
constexpr char kLauncher[] =
    "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
    "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n";

}  // namespace

int OpenWithDesktop(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return ENOENT;
  char shell[] = "/bin/sh";
  char command[] = "-c";
  char name[] = "flashgate-open";
  std::string file = path;
  char* arguments[] = {shell, command, const_cast<char*>(kLauncher), name, file.data(), nullptr};
  pid_t child = 0;
  if (const int failure = ::posix_spawn(&child, shell, nullptr, nullptr, arguments, environ)) return failure;
  int exitStatus = 0;
  while (::waitpid(child, &exitStatus, 0) < 0) {
    if (errno != EINTR) return errno;
  }
  return WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0 ? 0 : ENOEXEC;
}

}  // namespace platform::posix
