#include "platform/posix/map_records.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "platform/posix/whole_file.h"

namespace platform::posix {
namespace {

constexpr unsigned kLastPort = 255;

bool ParseRecord(const std::string& line, PortRecord* record) {
  const std::size_t space = line.find(' ');
  if (space == 0 || space == std::string::npos || space > 3 || space + 1 == line.size()) return false;
  unsigned port = 0;
  for (std::size_t i = 0; i < space; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
    port = port * 10 + static_cast<unsigned>(line[i] - '0');
  }
  if (port == 0 || port > kLastPort) return false;
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

DWORD WritePortRecords(const std::string& path, const std::vector<PortRecord>& records) {
  std::string text;
  for (const PortRecord& record : records) text += std::to_string(record.port) + ' ' + record.text + '\n';
  return ReplaceFileWhole(path, text.data(), text.size());
}

MapLock::MapLock(const std::string& mapDir) {
  const std::string path = mapDir + "/.lock";
  for (;;) {
    m_file = OpenLockFile(path);
    if (m_file < 0) return;
    int locked;
    do {
      locked = flock(m_file, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    // A lock on a file that was removed, or replaced with its folder, while this one waited
    // locks out nobody: take the file that is there now.
    if (locked == 0 && SameFile(m_file, path)) return;
    close(m_file);
    m_file = -1;
    if (locked != 0) return;
  }
}

MapLock::~MapLock() {
  // Closing the file releases the lock.
  if (m_file >= 0) close(m_file);
}

}  // namespace platform::posix
