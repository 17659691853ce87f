// Serial ports arriving and leaving, as Windows announces them with WM_DEVICECHANGE.
//
// A port is a link "comN" in the port map that leads to a device. The watcher keeps the map in
// step with the USB serial devices (ttyACM*, ttyUSB*) of the device directory: a device that
// no link names gets the lowest free number from 3 up and a link to its stable name (its
// serial/by-id link where there is one, else its node); a device seen before gets its old
// number back, as a Windows PC keeps a device's COM number. The numbers are remembered in the
// map, in ".numbers", and the links a watcher made in ".own-links": only those are ever moved
// or removed (a link of its own whose device has gone is removed again); links made by hand
// are left as they are. Several processes may watch one map: each change is made under the
// map's lock, from what the map holds at that moment (platform/posix/map_records.h).
//
// The kernel makes a device's node before udev makes its serial/by-id and serial/by-path
// links, so a new node waits for both a while (`settle`); one that still lacks a by-id name
// then (a device without a serial number has none) is numbered by its node.
//
// Whatever changes, the watcher compares the ports that lead to a device with those it saw
// before and reports each arrival and removal, from its own thread. inotify on the two
// folders wakes it; nothing polls, and a node waiting for its names is the only reason to wake
// without a change.
#pragma once

#include <sys/inotify.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace platform::posix {

class DeviceWatcher {
 public:
  // Called on the watcher's thread.
  using Report = std::function<void(bool arrived, unsigned port)>;

  DeviceWatcher(std::string deviceDir, std::string mapDir, Report report,
                std::chrono::milliseconds settle = std::chrono::milliseconds(2000));
  ~DeviceWatcher();
  DeviceWatcher(const DeviceWatcher&) = delete;
  DeviceWatcher& operator=(const DeviceWatcher&) = delete;

  // Makes the map folder where it is missing, takes the devices present now into the map
  // without reporting them, then watches; false when the folders cannot be watched, and
  // Failure() says why.
  bool Start();
  void Stop();
  // Why Start failed, as a sentence that names the folder and the system's reason.
  const std::string& Failure() const { return m_failure; }
  // How often the folders have been read again since Start: nothing that changes nothing
  // makes this grow.
  unsigned long Rescans() const { return m_rescans; }

 private:
  struct MapView;

  void Run();
  bool ReadEvents();
  bool Matters(const inotify_event& event) const;
  int KeepMapFolder();
  void WatchSerialFolders();
  void Rescan(bool report);
  MapView ReadMap() const;
  void RemoveLinksOfGoneDevices(MapView& map) const;
  std::vector<unsigned> AssignNumbers(MapView& map);
  void MoveOwnLinkToStableName(MapView& map, const std::string& node, const std::string& byId,
                               std::vector<unsigned>* moved) const;
  unsigned NumberFor(const MapView& map, const std::string& stable) const;
  void WriteMap(const MapView& map) const;
  std::set<unsigned> LivePorts(const MapView& map) const;
  std::string LinkPath(unsigned port) const;
  bool Ready(const std::string& node, bool hasBothNames);
  int PollTimeoutMs() const;
  bool Fail(int error, const char* what, const std::string& folder);

  const std::string m_deviceDir;
  const std::string m_mapDir;
  const Report m_report;
  const std::chrono::milliseconds m_settle;
  int m_inotify = -1;
  int m_wake = -1;
  int m_deviceWatch = -1;
  int m_mapWatch = -1;
  std::thread m_thread;
  std::atomic<bool> m_stopping{false};
  std::atomic<unsigned long> m_rescans{0};
  std::string m_failure;
  // Touched by the watcher's thread only once it runs.
  std::set<unsigned> m_live;
  std::map<std::string, unsigned> m_numbers;  // stable name -> the number it had
  // New nodes waiting for udev's names of them, and when they were first seen.
  std::map<std::string, std::chrono::steady_clock::time_point> m_waiting;
  bool m_starting = false;
  bool m_mapBusy = false;  // the last look found the map held by another process too long
};

}  // namespace platform::posix
