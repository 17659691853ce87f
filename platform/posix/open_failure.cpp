#include "platform/posix/open_failure.h"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "platform/posix/device_names.h"
#include "platform/posix/port_map.h"

namespace platform::posix {
namespace {

struct OpenFailure {
  std::string path;
  int error = 0;
};

thread_local OpenFailure t_lastFailure;

// Where `path` leads; the path itself when it leads nowhere.
std::string Resolved(const std::string& path) {
  const std::string real = RealPath(path);
  return real.empty() ? path : real;
}

std::string ProcessName(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/comm");
  std::string name;
  std::getline(in, name);
  return name.empty() ? "a program" : name;
}

bool HasOpen(const std::string& pid, const std::string& device) {
  const std::string fdDir = "/proc/" + pid + "/fd";
  DIR* dir = opendir(fdDir.c_str());
  if (!dir) return false;
  bool found = false;
  while (const dirent* entry = readdir(dir)) {
    if (LinkTarget(fdDir + "/" + entry->d_name) == device) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

bool IsPid(const char* name) {
  if (!*name) return false;
  for (const char* c = name; *c; ++c) {
    if (*c < '0' || *c > '9') return false;
  }
  return true;
}

// "minicom (pid 4242)", "a (pid 1) and b (pid 2)", "a (pid 1), b (pid 2) and c (pid 3)".
std::string Joined(const std::vector<Holder>& holders) {
  std::string text;
  for (std::size_t i = 0; i < holders.size(); ++i) {
    text += (i == 0                    ? ""
             : i + 1 == holders.size() ? " and "
                                       : ", ") +
            holders[i].name + " (pid " + std::to_string(holders[i].pid) + ")";
  }
  return text;
}

}  // namespace

std::vector<Holder> ProcessesHolding(const std::string& device, int exceptPid) {
  const std::string real = Resolved(device);
  std::vector<Holder> holders;
  DIR* proc = opendir("/proc");
  if (!proc) return holders;
  while (const dirent* entry = readdir(proc)) {
    if (!IsPid(entry->d_name) || std::atoi(entry->d_name) == exceptPid || !HasOpen(entry->d_name, real)) continue;
    holders.push_back(Holder{std::atoi(entry->d_name), ProcessName(entry->d_name)});
  }
  closedir(proc);
  return holders;
}

std::string DescribeHolders(const std::string& portName, const std::string& device) {
  // This process's own descriptors are its run's, whose last reader may still be letting go.
  const std::vector<Holder> holders = ProcessesHolding(device, getpid());
  if (holders.empty()) return {};
  return portName + " (" + Resolved(device) + ") is held by " + Joined(holders);
}

void NoteOpenFailure(const std::string& path, int error) { t_lastFailure = OpenFailure{path, error}; }

void ClearOpenFailure() { t_lastFailure = OpenFailure{}; }

std::string DescribeLastOpenFailure(const std::string& portName) {
  if (t_lastFailure.error == 0) return {};
  return ExplainOpenFailure(portName, t_lastFailure.path, t_lastFailure.error);
}

std::string ExplainOpenFailure(const std::string& portName, const std::string& device, int error) {
  const std::string real = Resolved(device);
  const std::string port = portName + " (" + real + ")";
  switch (error) {
    case EACCES:
    case EPERM: {
      struct stat info {};
      const group* owner = stat(real.c_str(), &info) == 0 ? getgrgid(info.st_gid) : nullptr;
      if (owner && info.st_gid != 0 && (info.st_mode & S_IRWXG) == (S_IRGRP | S_IWGRP)) {
        return port + ": permission denied. The user must be in the group \"" + owner->gr_name +
               "\" (then log in again).";
      }
      return port + ": permission denied. The user may not read and write the device.";
    }
    case EBUSY:
    case EWOULDBLOCK: {
      const std::vector<Holder> holders = ProcessesHolding(real);
      // Another user's processes keep their descriptors to themselves.
      if (holders.empty()) return port + " is in use by a program this user cannot see (perhaps another user's).";
      return port + " is in use by " + Joined(holders) + ".";
    }
    default: return {};
  }
}

}  // namespace platform::posix
