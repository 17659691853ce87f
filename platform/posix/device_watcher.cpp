#include "platform/posix/device_watcher.h"

#include <dirent.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/posix/port_map.h"

namespace platform::posix {
namespace {

constexpr unsigned kFirstFreeNumber = 3;
constexpr unsigned kLastNumber = 255;
constexpr uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsUsbSerialNode(const std::string& name) { return StartsWith(name, "ttyACM") || StartsWith(name, "ttyUSB"); }

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* folder = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(folder)) names.emplace_back(entry->d_name);
    closedir(folder);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// "com7" is port 7; anything else is no port.
unsigned PortOfName(const std::string& name) {
  if (!StartsWith(name, "com") || name.size() < 4 || name.size() > 6 || name[3] == '0') return 0;
  unsigned number = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    number = number * 10 + static_cast<unsigned>(name[i] - '0');
  }
  return number <= kLastNumber ? number : 0;
}

// Replaces whatever `link` is with a link to `target`, in one step for anyone looking.
void PlaceLink(const std::string& target, const std::string& link) {
  const std::string temporary = link + ".new";
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) == 0 && rename(temporary.c_str(), link.c_str()) != 0) {
    unlink(temporary.c_str());
  }
}

}  // namespace

std::string DeviceDirectory() {
  if (const char* dir = std::getenv("FLASHGATE_DEV_DIR"); dir && *dir) return dir;
  return "/dev";
}

DeviceWatcher::DeviceWatcher(std::string deviceDir, std::string mapDir, Report report, std::chrono::milliseconds settle)
    : m_deviceDir(std::move(deviceDir)), m_mapDir(std::move(mapDir)), m_report(std::move(report)), m_settle(settle) {}

DeviceWatcher::~DeviceWatcher() { Stop(); }

bool DeviceWatcher::Start() {
  mkdir(m_mapDir.c_str(), 0755);
  m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (m_inotify < 0 || m_wake < 0 || inotify_add_watch(m_inotify, m_mapDir.c_str(), kFolderEvents) < 0 ||
      inotify_add_watch(m_inotify, m_deviceDir.c_str(), kFolderEvents) < 0) {
    Stop();
    return false;
  }
  WatchFolders();
  LoadNumbers();
  // What is there already has been settled by udev long ago.
  m_starting = true;
  Reconcile(false);
  m_starting = false;
  m_thread = std::thread(&DeviceWatcher::Run, this);
  return true;
}

void DeviceWatcher::Stop() {
  m_stopping = true;
  if (m_wake >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_wake, &one, sizeof one);
  }
  if (m_thread.joinable()) m_thread.join();
  // Closing the inotify descriptor takes every watch with it.
  if (m_inotify >= 0) close(m_inotify);
  if (m_wake >= 0) close(m_wake);
  m_inotify = m_wake = -1;
}

void DeviceWatcher::Run() {
  alignas(inotify_event) char events[16 * 1024];
  while (!m_stopping) {
    pollfd fds[2] = {{m_inotify, POLLIN, 0}, {m_wake, POLLIN, 0}};
    // Woken by a change, or when a new node has waited long enough for its stable name.
    if (poll(fds, 2, PollTimeoutMs()) < 0 || m_stopping) continue;
    // What changed is not looked at: the folders are read again, which also covers a queue
    // that overflowed.
    while (read(m_inotify, events, sizeof events) > 0) {
    }
    WatchFolders();
    Reconcile(true);
  }
}

void DeviceWatcher::WatchFolders() {
  // udev makes these folders with the first serial device; watching them again costs nothing.
  for (const char* sub : {"/serial", "/serial/by-id"}) {
    inotify_add_watch(m_inotify, (m_deviceDir + sub).c_str(), kFolderEvents);
  }
}

void DeviceWatcher::Reconcile(bool report) {
  AssignNumbers();
  const std::set<unsigned> live = LivePorts();
  if (report) {
    for (const unsigned port : m_live) {
      if (!live.count(port)) m_report(false, port);
    }
    for (const unsigned port : live) {
      if (!m_live.count(port)) m_report(true, port);
    }
  }
  m_live = live;
}

void DeviceWatcher::AssignNumbers() {
  // The devices first, then where the links lead: a node listed here is there when a link
  // that names it is followed. One that comes later has its own turn.
  const std::vector<std::string> names = Entries(m_deviceDir);
  std::map<unsigned, std::string> links = Links();
  std::set<std::string> named;
  for (const auto& [port, target] : links) named.insert(RealPath(m_mapDir + "/com" + std::to_string(port)));

  bool changed = false;
  std::set<std::string> nodes;
  for (const std::string& name : names) {
    if (!IsUsbSerialNode(name)) continue;
    const std::string node = m_deviceDir + "/" + name;
    const std::string stable = StableName(node);
    const std::string real = RealPath(node);
    if (real.empty()) continue;
    nodes.insert(node);
    if (named.count(real)) {
      // A link of its own made before the stable name was there moves on to that name.
      for (auto& [port, target] : links) {
        if (target != node || stable == node) continue;
        PlaceLink(stable, m_mapDir + "/com" + std::to_string(port));
        target = stable;
        m_numbers[stable] = port;
        changed = true;
      }
      continue;
    }
    if (stable == node && !Settled(node)) continue;
    const auto remembered = m_numbers.find(stable);
    const unsigned port =
        remembered != m_numbers.end() && !links.count(remembered->second) ? remembered->second : FreeNumber(links);
    if (port == 0) continue;
    PlaceLink(stable, m_mapDir + "/com" + std::to_string(port));
    links[port] = stable;
    named.insert(real);
    m_numbers[stable] = port;
    changed = true;
  }
  for (auto it = m_unsettled.begin(); it != m_unsettled.end();) {
    it = nodes.count(it->first) ? std::next(it) : m_unsettled.erase(it);
  }
  if (changed) SaveNumbers();
}

bool DeviceWatcher::Settled(const std::string& node) {
  if (m_starting) return true;
  const auto now = std::chrono::steady_clock::now();
  const auto first = m_unsettled.emplace(node, now).first->second;
  if (now - first < m_settle) return false;
  m_unsettled.erase(node);
  return true;
}

int DeviceWatcher::PollTimeoutMs() const {
  if (m_unsettled.empty()) return -1;
  auto earliest = std::chrono::steady_clock::time_point::max();
  for (const auto& [node, first] : m_unsettled) earliest = std::min(earliest, first + m_settle);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(earliest - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()) + 1);
}

std::set<unsigned> DeviceWatcher::LivePorts() {
  std::set<unsigned> live;
  for (const auto& [port, target] : Links()) {
    const std::string link = m_mapDir + "/com" + std::to_string(port);
    struct stat info {};
    if (stat(link.c_str(), &info) == 0) {
      live.insert(port);
    } else if (IsOwnLink(port, target)) {
      // In the same look that finds the port gone: its link goes with it.
      unlink(link.c_str());
    }
  }
  return live;
}

std::map<unsigned, std::string> DeviceWatcher::Links() const {
  std::map<unsigned, std::string> links;
  for (const std::string& name : Entries(m_mapDir)) {
    const unsigned port = PortOfName(name);
    if (port == 0) continue;
    const std::string target = LinkTarget(m_mapDir + "/" + name);
    if (!target.empty()) links[port] = target;
  }
  return links;
}

std::string DeviceWatcher::StableName(const std::string& node) const {
  const std::string byId = m_deviceDir + "/serial/by-id";
  const std::string real = RealPath(node);
  for (const std::string& name : Entries(byId)) {
    if (name[0] == '.') continue;
    const std::string link = byId + "/" + name;
    if (RealPath(link) == real) return link;
  }
  return node;
}

unsigned DeviceWatcher::FreeNumber(const std::map<unsigned, std::string>& links) const {
  std::set<unsigned> reserved;
  for (const auto& [name, port] : m_numbers) reserved.insert(port);
  // Free and kept for no other device; else, when every number is kept, free at least.
  for (const bool keepReserved : {true, false}) {
    for (unsigned port = kFirstFreeNumber; port <= kLastNumber; ++port) {
      if (!links.count(port) && !(keepReserved && reserved.count(port))) return port;
    }
  }
  return 0;
}

void DeviceWatcher::LoadNumbers() {
  std::ifstream in(m_mapDir + "/.numbers");
  unsigned port = 0;
  std::string name;
  while (in >> port && std::getline(in >> std::ws, name)) {
    if (port >= kFirstFreeNumber && port <= kLastNumber && !name.empty()) m_numbers[name] = port;
  }
}

void DeviceWatcher::SaveNumbers() const {
  const std::string path = m_mapDir + "/.numbers";
  {
    std::ofstream out(path + ".new");
    for (const auto& [name, port] : m_numbers) out << port << ' ' << name << '\n';
  }
  rename((path + ".new").c_str(), path.c_str());
}

bool DeviceWatcher::IsOwnLink(unsigned port, const std::string& target) const {
  // Only a link it made is its own to remove; one made by hand to the same device is not.
  const auto number = m_numbers.find(target);
  return number != m_numbers.end() && number->second == port;
}

}  // namespace platform::posix
