// Serial ports arriving and leaving, as Windows announces them with WM_DEVICECHANGE.
//
// A port is a link "comN" in the port map that leads to a device. The watcher keeps the map in
// step with the USB serial devices (ttyACM*, ttyUSB*) of the device directory: a device that
// no link names gets the lowest free number from 3 up and a link to its stable name (its
// serial/by-id link where there is one, else its node); a device seen before gets its old
// number back, as a Windows PC keeps a device's COM number. The numbers are remembered in the
// map, in ".numbers". A link of its own whose device has gone is removed again.
//
// The kernel makes a device's node before udev makes its serial/by-id link, so a new node
// without one waits for it a while (`settle`) before it is numbered by its node alone.
//
// Whatever changes, the watcher compares the ports that lead to a device with those it saw
// before and reports each arrival and removal, from its own thread. inotify on the two
// folders wakes it; nothing polls.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>

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

  // Takes the devices present now into the map without reporting them, then watches; false
  // when the folders cannot be watched.
  bool Start();
  void Stop();

 private:
  void Run();
  void WatchFolders();
  void Reconcile(bool report);
  void AssignNumbers();
  // The ports that lead to a device; a link of its own that leads nowhere is removed.
  std::set<unsigned> LivePorts();
  std::map<unsigned, std::string> Links() const;
  std::string StableName(const std::string& node) const;
  unsigned FreeNumber(const std::map<unsigned, std::string>& links) const;
  void LoadNumbers();
  void SaveNumbers() const;
  bool IsOwnLink(unsigned port, const std::string& target) const;
  bool Settled(const std::string& node);
  int PollTimeoutMs() const;

  const std::string m_deviceDir;
  const std::string m_mapDir;
  const Report m_report;
  const std::chrono::milliseconds m_settle;
  int m_inotify = -1;
  int m_wake = -1;
  std::thread m_thread;
  std::atomic<bool> m_stopping{false};
  // Touched by the watcher's thread only once it runs.
  std::set<unsigned> m_live;
  std::map<std::string, unsigned> m_numbers;  // stable name -> the number it had
  // New nodes without a stable name, and when they were first seen.
  std::map<std::string, std::chrono::steady_clock::time_point> m_unsettled;
  bool m_starting = false;
};

// The device folder: $FLASHGATE_DEV_DIR when set (tests), else /dev.
std::string DeviceDirectory();

}  // namespace platform::posix
