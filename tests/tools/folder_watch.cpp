#include "tests/tools/folder_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace handset_sim_test {

FolderWatch::FolderWatch(const std::vector<std::pair<std::string, std::string>>& folders) {
  m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_fd < 0) throw std::runtime_error("inotify_init1 failed");
  for (const auto& [prefix, path] : folders) {
    const int watch = inotify_add_watch(m_fd, path.c_str(), IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM);
    if (watch < 0) throw std::runtime_error("cannot watch " + path);
    m_prefixes.emplace_back(watch, prefix);
  }
}

FolderWatch::~FolderWatch() { close(m_fd); }

std::vector<std::string> FolderWatch::Next(std::size_t count, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ReadEvents();
    if (m_changes.size() >= count) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd fd{m_fd, POLLIN, 0};
    if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) break;
  }
  const std::size_t taken = std::min(count, m_changes.size());
  std::vector<std::string> changes(m_changes.begin(), m_changes.begin() + static_cast<std::ptrdiff_t>(taken));
  m_changes.erase(m_changes.begin(), m_changes.begin() + static_cast<std::ptrdiff_t>(taken));
  return changes;
}

void FolderWatch::ReadEvents() {
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = read(m_fd, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      const std::string name = event->len ? event->name : "";
      if (name.empty() || name[0] == '.') continue;
      for (const auto& [watch, prefix] : m_prefixes) {
        if (watch != event->wd) continue;
        m_changes.push_back((event->mask & (IN_CREATE | IN_MOVED_TO) ? "+" : "-") + prefix + name);
      }
    }
  }
}

}  // namespace handset_sim_test
