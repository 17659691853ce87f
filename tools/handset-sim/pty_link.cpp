#include "tools/handset-sim/pty_link.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/handset-sim/links.h"

namespace handset_sim {
namespace {

// While no host has the slave open: how often the hang-up is looked at again.
constexpr int kLookAgainMs = 10;

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
  close(slave);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  if (!PublishLink(name, linkPath, error)) {
    close(master);
    return nullptr;
  }
  return std::unique_ptr<PtyLink>(new PtyLink(master, name, linkPath));
}

PtyLink::PtyLink(int master, std::string slavePath, std::string linkPath)
    : m_master(master),
      m_opens(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      m_slavePath(std::move(slavePath)),
      m_linkPath(std::move(linkPath)) {
  if (m_opens >= 0 && inotify_add_watch(m_opens, m_slavePath.c_str(), IN_OPEN) < 0) {
    close(m_opens);
    m_opens = -1;
  }
}

bool PtyLink::AwaitHost(int wakeFd, int timeoutMs) {
  if (m_opens < 0) return false;
  char events[4096];
  while (read(m_opens, events, sizeof events) > 0) {
  }
  // A host that opened the slave before the drain has ended the hang-up already, whether or not
  // it has written yet.
  pollfd master{m_master, POLLIN, 0};
  if (poll(&master, 1, 0) == 0 || !(master.revents & POLLHUP)) return true;
  // An open is not the only way back: the host may also have been there all along between two
  // looks, so the hang-up is looked at again soon whatever the watch says.
  pollfd fds[2] = {{m_opens, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  poll(fds, 2, std::min(timeoutMs, kLookAgainMs));
  return true;
}

ssize_t PtyLink::Write(const void* data, std::size_t count) { return write(m_master, data, count); }

PtyLink::~PtyLink() {
  RemoveLinkIfOurs(m_linkPath, m_slavePath);
  if (m_opens >= 0) close(m_opens);
  close(m_master);
}

}  // namespace handset_sim
