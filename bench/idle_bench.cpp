// An idle Flashgate with two handsets attached, measured from outside: the real program on the
// off-screen display, its device folder a rig of pseudo-terminals named as udev names handsets.
// The handsets are plugged once the program runs, as udev does it (the node first, its by-id
// and by-path names a moment later); once they have their ports and the program has had time
// to settle, its processor time and the context switches of all its threads are read from
// /proc at the start and the end of the measured time.
//
//   idle_bench [seconds]   (10 unless given)
#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// The device folder, the port map, the settings and the records, removed at the end.
class Workspace {
 public:
  Workspace() {
    char pattern[] = "/tmp/flashgate-idle-XXXXXX";
    if (mkdtemp(pattern)) m_dir = pattern;
    mkdir(File("dev").c_str(), 0755);
  }
  ~Workspace() {
    std::error_code ignored;
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  bool Made() const { return !m_dir.empty(); }
  std::string File(const std::string& name) const { return m_dir + "/" + name; }

 private:
  std::string m_dir;
};

// A handset on the bus: a pseudo-terminal for its node, and the names udev gives it.
class Handset {
 public:
  Handset(const Workspace& workspace, int number) {
    char name[128] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) return;
    const std::string node = "ttyACM" + std::to_string(number);
    const std::string dev = workspace.File("dev");
    m_plugged = symlink(name, (dev + "/" + node).c_str()) == 0;
    std::this_thread::sleep_for(100ms);
    m_plugged &= MakeName(dev + "/serial/by-id", "usb-Korvant_Handset_" + std::to_string(40 + number) + "-if00", node);
    std::this_thread::sleep_for(100ms);
    m_plugged &=
        MakeName(dev + "/serial/by-path", "pci-0000:00:14.0-usb-0:" + std::to_string(number + 1) + ":1.0", node);
  }
  ~Handset() {
    if (m_master >= 0) close(m_master);
    if (m_slave >= 0) close(m_slave);
  }
  Handset(const Handset&) = delete;
  Handset& operator=(const Handset&) = delete;

  bool Plugged() const { return m_plugged; }

 private:
  static bool MakeName(const std::string& folder, const std::string& name, const std::string& node) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return symlink(("../../" + node).c_str(), (folder + "/" + name).c_str()) == 0;
  }

  bool m_plugged = false;
  int m_master = -1;
  int m_slave = -1;
};

// The program under measure, on the off-screen display, with the workspace's folders.
class Program {
 public:
  explicit Program(const Workspace& workspace) {
    std::vector<std::string> variables = {
        "QT_QPA_PLATFORM=offscreen",
        "FLASHGATE_DEV_DIR=" + workspace.File("dev"),
        "FLASHGATE_PORTS_DIR=" + workspace.File("ports"),
        "FLASHGATE_REGISTRY=" + workspace.File("registry.reg"),
        "FLASHGATE_DRIVE_C=" + workspace.File("c"),
        "XDG_STATE_HOME=" + workspace.File("state"),
        "XDG_RUNTIME_DIR=" + workspace.File("run"),
    };
    mkdir(workspace.File("run").c_str(), 0700);
    std::vector<char*> environment;
    for (std::string& variable : variables) environment.push_back(variable.data());
    for (char** inherited = environ; *inherited; ++inherited) {
      if (!Overridden(*inherited, variables)) environment.push_back(*inherited);
    }
    environment.push_back(nullptr);
    std::string program = FLASHGATE_PROGRAM;
    char* argv[] = {program.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv, environment.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  pid_t Pid() const { return m_pid; }
  bool Running() const { return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0; }

 private:
  static bool Overridden(const char* inherited, const std::vector<std::string>& variables) {
    const std::string text = inherited;
    const std::string name = text.substr(0, text.find('=') + 1);
    for (const std::string& variable : variables) {
      if (variable.compare(0, name.size(), name) == 0) return true;
    }
    return false;
  }

  pid_t m_pid = -1;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// One thread as /proc shows it.
struct ThreadSample {
  std::string name;
  long long switches = 0;   // voluntary and not: each is a time the thread stopped running
  long long runTimeNs = 0;  // on a processor, by the scheduler's clock
};

// The process at one moment: its processor time in clock ticks, and its threads by id.
struct Sample {
  long long ticks = 0;
  std::map<std::string, ThreadSample> threads;
};

long long Field(const std::string& status, const std::string& name) {
  const std::size_t at = status.find(name + ":");
  return at == std::string::npos ? 0 : std::atoll(status.c_str() + at + name.size() + 1);
}

Sample Take(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  Sample sample;
  // utime and stime are the 14th and 15th fields; the third is the first after the name,
  // which is in parentheses and may hold spaces.
  const std::string line = ReadText(proc + "/stat");
  std::istringstream stat(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 15 && stat >> field; ++i) {
    if (i >= 14) sample.ticks += std::atoll(field.c_str());
  }
  if (DIR* tasks = opendir((proc + "/task").c_str())) {
    while (const dirent* task = readdir(tasks)) {
      if (task->d_name[0] == '.') continue;
      const std::string dir = proc + "/task/" + task->d_name;
      const std::string status = ReadText(dir + "/status");
      ThreadSample& thread = sample.threads[task->d_name];
      thread.name = ReadText(dir + "/comm");
      if (!thread.name.empty() && thread.name.back() == '\n') thread.name.pop_back();
      thread.switches = Field(status, "voluntary_ctxt_switches") + Field(status, "nonvoluntary_ctxt_switches");
      thread.runTimeNs = std::atoll(ReadText(dir + "/schedstat").c_str());
    }
    closedir(tasks);
  }
  return sample;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  Workspace workspace;
  if (!workspace.Made() || seconds <= 0) {
    std::fprintf(stderr, "usage: idle_bench [seconds]\n");
    return 2;
  }
  Program program(workspace);
  // The port map is made when the program watches for devices, after its window is up.
  if (!WaitFor([&] { return Exists(workspace.File("ports")); }, 30s) || !program.Running()) {
    std::fprintf(stderr, "idle_bench: %s did not start\n", FLASHGATE_PROGRAM);
    return 1;
  }
  std::this_thread::sleep_for(1s);
  const Handset first(workspace, 0);
  const Handset second(workspace, 1);
  const auto ported = [&] { return Exists(workspace.File("ports/com3")) && Exists(workspace.File("ports/com4")); };
  if (!first.Plugged() || !second.Plugged() || !WaitFor(ported, 10s)) {
    std::fprintf(stderr, "idle_bench: the handsets got no ports\n");
    return 1;
  }
  // Past the longest a new device waits for its names, and whatever the arrivals started.
  std::this_thread::sleep_for(3s);

  const Sample before = Take(program.Pid());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const Sample after = Take(program.Pid());
  if (!program.Running()) {
    std::fprintf(stderr, "idle_bench: the program ended while measured\n");
    return 1;
  }

  long long switches = 0;
  long long runTimeNs = 0;
  for (const auto& [id, thread] : after.threads) {
    const auto earlier = before.threads.find(id);
    const ThreadSample start = earlier != before.threads.end() ? earlier->second : ThreadSample{};
    const long long woke = thread.switches - start.switches;
    const long long ran = thread.runTimeNs - start.runTimeNs;
    switches += woke;
    runTimeNs += ran;
    std::printf("thread %s (%s): %lld wake-ups, %.3f ms\n", id.c_str(), thread.name.c_str(), woke, ran / 1e6);
  }
  const double cpuMs = static_cast<double>(after.ticks - before.ticks) * 1000.0 / sysconf(_SC_CLK_TCK);
  std::printf("idle %d s with two handsets: CPU %.0f ms (%.3f ms run time), %lld wake-ups\n", seconds, cpuMs,
              runTimeNs / 1e6, switches);
  return 0;
}
