#include "platform/posix/map_records.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/posix/port_map.h"
#include "platform/posix/whole_file.h"

namespace platform::posix {
namespace {

constexpr auto kLockWait = std::chrono::seconds(2);

bool ParseRecord(const std::string& line, PortRecord* record) {
  const std::size_t space = line.find(' ');
  if (space == std::string::npos || space + 1 == line.size()) return false;
  const unsigned port = PortOfNumber(line.substr(0, space));
  if (port == 0) return false;
  *record = {port, line.substr(space + 1)};
  return true;
}

int OpenLockFile(const std::string& path) {
  const int file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  return file >= 0 ? file : open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

bool SameFile(int file, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return fstat(file, &opened) == 0 && stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

// Only a lock another process holds is waited for; one that cannot be taken at all is not.
bool LockWithin(int file, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (flock(file, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace

std::vector<PortRecord> ReadPortRecords(const std::string& path) {
  std::vector<PortRecord> records;
  std::ifstream in(path);
  std::string line;
  PortRecord record{};
  while (std::getline(in, line)) {
    if (ParseRecord(line, &record)) records.push_back(record);
  }
  return records;
}

void WritePortRecords(const std::string& path, const std::vector<PortRecord>& records) {
  std::string text;
  for (const PortRecord& record : records) text += std::to_string(record.port) + ' ' + record.text + '\n';
  ReplaceFileWhole(path, text.data(), text.size());
}

MapLock::MapLock(const std::string& mapDir) {
  const std::string path = mapDir + "/.lock";
  for (;;) {
    m_file = OpenLockFile(path);
    if (m_file < 0) return;
    const bool locked = LockWithin(m_file, kLockWait);
    // A lock on a file that was removed, or replaced with its folder, while this one waited
    // locks out nobody: take the file that is there now.
    if (locked && SameFile(m_file, path)) return;
    close(m_file);
    m_file = -1;
    if (!locked) {
      m_busy = true;
      return;
    }
  }
}

MapLock::~MapLock() {
  // Closing the file releases the lock.
  if (m_file >= 0) close(m_file);
}

}  // namespace platform::posix
