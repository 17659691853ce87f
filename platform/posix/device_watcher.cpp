#include "platform/posix/device_watcher.h"

#include <dirent.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/posix/device_names.h"
#include "platform/posix/map_records.h"
#include "platform/posix/port_map.h"
#include "platform/posix/private_folder.h"

namespace platform::posix {
namespace {

constexpr unsigned kFirstFreeNumber = 3;
// How soon a watcher that found the map held by another process for too long looks again.
constexpr int kBusyMapRetryMs = 1000;
constexpr uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
// A watched folder was removed or moved away, or events were lost.
constexpr uint32_t kFolderLost = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_Q_OVERFLOW;

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* folder = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(folder)) names.emplace_back(entry->d_name);
    closedir(folder);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A USB serial device of the device folder, with udev's names of it.
struct UsbSerialDevice {
  std::string node;  // as the folder names it
  std::string real;  // where the node leads
  std::string byId;  // its serial/by-id link; empty when it has none yet
  bool hasByPath;
};

std::vector<UsbSerialDevice> UsbSerialDevices(const std::string& deviceDir) {
  std::vector<UsbSerialDevice> devices;
  for (const std::string& name : Entries(deviceDir)) {
    if (!IsUsbSerialNode(name)) continue;
    const std::string node = deviceDir + "/" + name;
    const std::string real = RealPath(node);
    if (real.empty()) continue;
    devices.push_back(
        {node, real, SerialLinkTo(deviceDir, "by-id", real), !SerialLinkTo(deviceDir, "by-path", real).empty()});
  }
  return devices;
}

bool Leads(const std::string& link) {
  struct stat info {};
  return stat(link.c_str(), &info) == 0;
}

// Replaces whatever `link` is with a link to `target`, in one step for anyone looking.
void PlaceLink(const std::string& target, const std::string& link) {
  const std::string temporary = link + ".new";
  unlink(temporary.c_str());
  if (symlink(target.c_str(), temporary.c_str()) == 0 && rename(temporary.c_str(), link.c_str()) != 0) {
    unlink(temporary.c_str());
  }
}

std::string ErrorText(int error) { return std::error_code(error, std::generic_category()).message(); }

}  // namespace

// The map as one look under its lock finds it, with what the look decides.
struct DeviceWatcher::MapView {
  std::map<unsigned, std::string> links;    // port -> what its link names
  std::map<std::string, unsigned> numbers;  // stable name -> the number it had
  std::map<unsigned, std::string> own;      // port -> what the link a watcher made names
  std::set<unsigned> live;                  // ports whose links lead to a device
  bool changed = false;                     // numbers or own differ from the files
};

DeviceWatcher::DeviceWatcher(std::string deviceDir, std::string mapDir, Report report, std::chrono::milliseconds settle)
    : m_deviceDir(std::move(deviceDir)), m_mapDir(std::move(mapDir)), m_report(std::move(report)), m_settle(settle) {}

DeviceWatcher::~DeviceWatcher() { Stop(); }

bool DeviceWatcher::Start() {
  m_failure.clear();
  m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_inotify < 0) return Fail(errno, "Cannot watch the device folder", m_deviceDir);
  m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (m_wake < 0) return Fail(errno, "Cannot watch the device folder", m_deviceDir);
  if (const int error = MakePrivateFolders(m_mapDir)) return Fail(error, "Cannot make the port folder", m_mapDir);
  if (const int error = KeepMapFolder()) return Fail(error, "Cannot watch the port folder", m_mapDir);
  m_deviceWatch = inotify_add_watch(m_inotify, m_deviceDir.c_str(), kFolderEvents);
  if (m_deviceWatch < 0) return Fail(errno, "Cannot watch the device folder", m_deviceDir);
  // What is there already has been settled by udev long ago.
  m_starting = true;
  Rescan(false);
  m_starting = false;
  m_thread = std::thread(&DeviceWatcher::Run, this);
  return true;
}

// `error` is taken before anything else is done, so nothing can change errno first.
bool DeviceWatcher::Fail(int error, const char* what, const std::string& folder) {
  m_failure = std::string(what) + " " + folder + ": " + ErrorText(error) + ".";
  Stop();
  return false;
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
  pthread_setname_np(pthread_self(), "device watcher");
  while (!m_stopping) {
    pollfd fds[2] = {{m_inotify, POLLIN, 0}, {m_wake, POLLIN, 0}};
    const int ready = poll(fds, 2, PollTimeoutMs());
    if (ready < 0 || m_stopping) continue;
    // Woken by a change that matters, or when a new node has waited long enough for its names.
    if (ReadEvents() || ready == 0) Rescan(true);
  }
}

// Reads every event waiting; true when one of them can change a port. Which one does not
// matter: the folders are read again whole, which also covers a queue that overflowed.
bool DeviceWatcher::ReadEvents() {
  alignas(inotify_event) char events[16 * 1024];
  bool matters = false;
  ssize_t length = 0;
  while ((length = read(m_inotify, events, sizeof events)) > 0) {
    for (const char* at = events; at < events + length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      matters = matters || Matters(*event);
      at += sizeof(inotify_event) + event->len;
    }
  }
  return matters;
}

// The map's own records and the device folder's other devices change no port; waking for
// them would have every watcher of the map read it again after each save.
bool DeviceWatcher::Matters(const inotify_event& event) const {
  if (event.mask & kFolderLost) return true;
  const std::string name = event.len > 0 ? event.name : "";
  if (event.wd == m_mapWatch) return PortOfLinkName(name) != 0;
  if (event.wd == m_deviceWatch) return IsUsbSerialNode(name) || name == "serial";
  return true;  // udev's serial folders
}

// Makes the map folder when it is not there (a fresh account, or removed while the program
// runs) and watches it, the folder made again included.
int DeviceWatcher::KeepMapFolder() {
  if (const int error = MakePrivateFolders(m_mapDir)) return error;
  m_mapWatch = inotify_add_watch(m_inotify, m_mapDir.c_str(), kFolderEvents);
  return m_mapWatch < 0 ? errno : 0;
}

void DeviceWatcher::WatchSerialFolders() {
  // udev makes these folders with the first serial device; watching them again costs nothing.
  for (const char* sub : {"/serial", "/serial/by-id", "/serial/by-path"}) {
    inotify_add_watch(m_inotify, (m_deviceDir + sub).c_str(), kFolderEvents);
  }
}

void DeviceWatcher::Rescan(bool report) {
  ++m_rescans;
  KeepMapFolder();
  WatchSerialFolders();
  std::set<unsigned> live;
  {
    const MapLock lock(m_mapDir);
    MapView map = ReadMap();
    if (lock.Held()) {
      RemoveLinksOfGoneDevices(map);
      const std::vector<unsigned> placed = AssignNumbers(map);
      // Recorded before the links are made: a link is never there without its record, so
      // none of a watcher's own is ever mistaken for one made by hand.
      if (map.changed) WriteMap(map);
      for (const unsigned port : placed) {
        PlaceLink(map.links[port], LinkPath(port));
        map.live.insert(port);
      }
      m_numbers = map.numbers;
    }
    // The ports are reported whoever holds the map; what is still to be numbered waits for it.
    m_mapBusy = lock.Busy();
    live = map.live;
  }
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

DeviceWatcher::MapView DeviceWatcher::ReadMap() const {
  MapView map;
  map.links = PortLinks(m_mapDir);
  map.live = LivePorts(map);
  for (const PortRecord& record : ReadPortRecords(m_mapDir + "/.numbers")) {
    if (record.port >= kFirstFreeNumber) map.numbers[record.text] = record.port;
  }
  // A file lost with its folder is written again from what this watcher knows; one that
  // another watcher changed is taken as it is.
  if (access((m_mapDir + "/.numbers").c_str(), F_OK) != 0) {
    for (const auto& [name, port] : m_numbers) map.changed |= map.numbers.emplace(name, port).second;
  }
  for (const PortRecord& record : ReadPortRecords(m_mapDir + "/.own-links")) {
    // A link replaced by hand, or removed, is no longer a watcher's.
    const auto link = map.links.find(record.port);
    if (link != map.links.end() && link->second == record.text) {
      map.own[record.port] = record.text;
    } else {
      map.changed = true;
    }
  }
  return map;
}

void DeviceWatcher::RemoveLinksOfGoneDevices(MapView& map) const {
  for (auto own = map.own.begin(); own != map.own.end();) {
    if (map.live.count(own->first)) {
      ++own;
      continue;
    }
    // The look that reports the port gone is the one that takes its link, before its record:
    // a device leaving during a rescan is left, link and report, to the rescan its leaving wakes.
    unlink(LinkPath(own->first).c_str());
    map.links.erase(own->first);
    own = map.own.erase(own);
    map.changed = true;
  }
}

// Answers the ports whose links are to be made.
std::vector<unsigned> DeviceWatcher::AssignNumbers(MapView& map) {
  // The devices and their names first, then where the links lead: a node or name found here
  // is there when a link that names it is followed. One that comes later has its own turn.
  const std::vector<UsbSerialDevice> devices = UsbSerialDevices(m_deviceDir);
  std::set<std::string> named;
  for (const auto& [port, target] : map.links) named.insert(RealPath(LinkPath(port)));

  std::vector<unsigned> placed;
  std::set<std::string> nodes;
  for (const UsbSerialDevice& device : devices) {
    nodes.insert(device.node);
    if (named.count(device.real)) {
      m_waiting.erase(device.node);
      MoveOwnLinkToStableName(map, device.node, device.byId, &placed);
      continue;
    }
    if (!Ready(device.node, !device.byId.empty() && device.hasByPath)) continue;
    const std::string stable = device.byId.empty() ? device.node : device.byId;
    // Gone, or without the name it would be known by, since the devices were read: a link that
    // named it may have stopped leading to it just as well. The rescan its going wakes decides.
    if (RealPath(stable) != device.real) continue;
    const unsigned port = NumberFor(map, stable);
    if (port == 0) continue;
    map.links[port] = map.own[port] = stable;
    map.numbers[stable] = port;
    map.changed = true;
    named.insert(device.real);
    placed.push_back(port);
  }
  for (auto it = m_waiting.begin(); it != m_waiting.end();) {
    it = nodes.count(it->first) ? std::next(it) : m_waiting.erase(it);
  }
  return placed;
}

// A link of its own made by the node alone, its by-id name having come late, moves on to that
// name, by which the device is known whatever node it gets next time.
void DeviceWatcher::MoveOwnLinkToStableName(MapView& map, const std::string& node, const std::string& byId,
                                            std::vector<unsigned>* moved) const {
  if (byId.empty()) return;
  for (auto& [port, target] : map.own) {
    if (target != node) continue;
    target = map.links[port] = byId;
    if (const auto old = map.numbers.find(node); old != map.numbers.end() && old->second == port) {
      map.numbers.erase(old);
    }
    map.numbers[byId] = port;
    map.changed = true;
    moved->push_back(port);
  }
}

// A device seen before gets its number back while that is free; any other the lowest number
// that is free and kept for no other device; when every number is kept, free at least.
unsigned DeviceWatcher::NumberFor(const MapView& map, const std::string& stable) const {
  const auto remembered = map.numbers.find(stable);
  if (remembered != map.numbers.end() && !map.links.count(remembered->second)) return remembered->second;
  std::set<unsigned> kept;
  for (const auto& [name, port] : map.numbers) kept.insert(port);
  for (const bool keepKept : {true, false}) {
    for (unsigned port = kFirstFreeNumber; port <= kLastPortNumber; ++port) {
      if (!map.links.count(port) && !(keepKept && kept.count(port))) return port;
    }
  }
  return 0;
}

void DeviceWatcher::WriteMap(const MapView& map) const {
  std::vector<PortRecord> numbers;
  for (const auto& [name, port] : map.numbers) numbers.push_back({port, name});
  std::stable_sort(numbers.begin(), numbers.end(),
                   [](const PortRecord& a, const PortRecord& b) { return a.port < b.port; });
  std::vector<PortRecord> own;
  for (const auto& [port, target] : map.own) own.push_back({port, target});
  WritePortRecords(m_mapDir + "/.numbers", numbers);
  WritePortRecords(m_mapDir + "/.own-links", own);
}

std::set<unsigned> DeviceWatcher::LivePorts(const MapView& map) const {
  std::set<unsigned> live;
  for (const auto& [port, target] : map.links) {
    if (Leads(LinkPath(port))) live.insert(port);
  }
  return live;
}

std::string DeviceWatcher::LinkPath(unsigned port) const { return m_mapDir + "/com" + std::to_string(port); }

// A new node waits for both of udev's names, but not for ever: a device without a serial
// number has no by-id name, and what is there at the start was named long ago.
bool DeviceWatcher::Ready(const std::string& node, bool hasBothNames) {
  const auto now = std::chrono::steady_clock::now();
  if (!m_starting && !hasBothNames && now - m_waiting.emplace(node, now).first->second < m_settle) return false;
  m_waiting.erase(node);
  return true;
}

int DeviceWatcher::PollTimeoutMs() const {
  if (m_mapBusy) return kBusyMapRetryMs;
  if (m_waiting.empty()) return -1;
  auto earliest = std::chrono::steady_clock::time_point::max();
  for (const auto& [node, first] : m_waiting) earliest = std::min(earliest, first + m_settle);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(earliest - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()) + 1);
}

}  // namespace platform::posix
