#include "tools/handset-sim/pty_link.h"

#include <fcntl.h>
#include <pwd.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/handset-sim/links.h"

namespace handset_sim {
namespace {

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

}  // namespace

std::string DefaultPortsDirectory() {
  if (const char* dir = std::getenv("FLASHGATE_PORTS_DIR"); dir && *dir) return dir;
  return HomeDirectory() + "/.config/flashgate/ports";
}

std::unique_ptr<PtyLink> PtyLink::Open(const std::string& linkPath, std::string* error) {
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

  if (!PublishLink(name, linkPath, error)) {
    close(slave);
    close(master);
    return nullptr;
  }
  return std::unique_ptr<PtyLink>(new PtyLink(master, slave, name, linkPath));
}

PtyLink::PtyLink(int master, int slave, std::string slavePath, std::string linkPath)
    : m_master(master), m_slave(slave), m_slavePath(std::move(slavePath)), m_linkPath(std::move(linkPath)) {}

ssize_t PtyLink::Write(const void* data, std::size_t count) { return write(m_master, data, count); }

PtyLink::~PtyLink() {
  RemoveLinkIfOurs(m_linkPath, m_slavePath);
  close(m_master);
  close(m_slave);
}

}  // namespace handset_sim
