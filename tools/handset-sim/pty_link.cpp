#include "tools/handset-sim/pty_link.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace handset_sim {
namespace {

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// Replaces the link atomically, so a host never finds the port missing halfway.
bool PublishLink(const std::string& target, const std::string& link, std::string* error) {
  struct stat existing {};
  if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    *error = link + " exists and is not a link";
    return false;
  }
  const std::string temporary = link + ".new." + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) != 0) {
    *error = ErrnoText("cannot create " + temporary);
    return false;
  }
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    *error = ErrnoText("cannot create " + link);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

// Another handset may have taken the name since; its link stays.
void RemoveLinkIfOurs(const std::string& link, const std::string& target) {
  char buffer[4096];
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
  if (n < 0 || std::string(buffer, static_cast<std::size_t>(n)) != target) return;
  unlink(link.c_str());
}

}  // namespace

std::string DefaultPortsDirectory() {
  if (const char* dir = std::getenv("FLASHGATE_PORTS_DIR"); dir && *dir) return dir;
  return HomeDirectory() + "/.config/flashgate/ports";
}

std::unique_ptr<PtyLink> PtyLink::Open(const std::string& directory, unsigned portNumber, std::string* error) {
  std::error_code ignored;
  std::filesystem::create_directories(directory, ignored);

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    *error = ErrnoText("posix_openpt");
    return nullptr;
  }
  char name[128] = {};
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    *error = ErrnoText("cannot prepare the pseudo-terminal");
    close(master);
    return nullptr;
  }
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (slave < 0 || tcgetattr(slave, &settings) != 0) {
    *error = ErrnoText(std::string("cannot open ") + name);
    if (slave >= 0) close(slave);
    close(master);
    return nullptr;
  }
  // A handset line carries bytes, not text: no echo, no line editing, no translation.
  cfmakeraw(&settings);
  tcsetattr(slave, TCSANOW, &settings);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  const std::string link = directory + "/com" + std::to_string(portNumber);
  if (!PublishLink(name, link, error)) {
    close(slave);
    close(master);
    return nullptr;
  }
  return std::unique_ptr<PtyLink>(new PtyLink(master, slave, name, link));
}

PtyLink::PtyLink(int master, int slave, std::string slavePath, std::string linkPath)
    : m_master(master), m_slave(slave), m_slavePath(std::move(slavePath)), m_linkPath(std::move(linkPath)) {}

PtyLink::~PtyLink() {
  RemoveLinkIfOurs(m_linkPath, m_slavePath);
  close(m_master);
  close(m_slave);
}

}  // namespace handset_sim
