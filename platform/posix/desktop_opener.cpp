#include "platform/posix/desktop_opener.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace platform::posix {
namespace {

// The shell starts the opener in the background and waits a second at most: an opener that
// fails does so at once, while one that started a browser may run as long as the browser does.
// The shell then leaves it to run on its own.
constexpr char kLauncher[] =
    "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
    "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n"
    "opener=$!\n"
    "for _ in 1 2 3 4 5 6 7 8 9 10; do\n"
    "  kill -0 $opener 2>/dev/null || { wait $opener; exit $?; }\n"
    "  sleep 0.1\n"
    "done\n";

}  // namespace

int OpenWithDesktop(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return errno;
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
