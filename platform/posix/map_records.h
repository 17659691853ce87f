// What the watchers of one port map share, kept in the map folder itself so that every
// Flashgate process on the machine reads the same: ".numbers", the number each device had;
// ".own-links", the links a watcher made, which only a watcher moves or removes; and ".lock",
// held while a watcher reads the map and changes it.
#pragma once

#include <string>
#include <vector>

namespace platform::posix {

// One line "<port> <text>": a port number and what it belongs to.
struct PortRecord {
  unsigned port;
  std::string text;
};

// The records of a file, in its order; a line that is not a port from 1 to 255, one space
// and a text is skipped. None when there is no file.
std::vector<PortRecord> ReadPortRecords(const std::string& path);
// Replaces the file whole. A record that cannot be written keeps no device from its port, so
// failing is left to the next change to mend.
void WritePortRecords(const std::string& path, const std::vector<PortRecord>& records);

// The map's lock, held from construction to destruction: one watcher at a time reads the map
// and changes it, whichever process it runs in.
class MapLock {
 public:
  // Waits for the lock, but not for ever: a process stopped while it held it must not freeze
  // the others' windows. Where no lock file can be made (a folder the user may only read)
  // nothing can be changed either.
  explicit MapLock(const std::string& mapDir);
  ~MapLock();
  MapLock(const MapLock&) = delete;
  MapLock& operator=(const MapLock&) = delete;

  // The map may be changed.
  bool Held() const { return m_file >= 0; }
  // Another process held the lock for longer than a watcher waits: try again later.
  bool Busy() const { return m_busy; }

 private:
  int m_file = -1;
  bool m_busy = false;
};

}  // namespace platform::posix
