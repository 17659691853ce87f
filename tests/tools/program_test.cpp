// The flashgate-handset-sim program as a script or a person runs it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/read_file.h"
#include "tests/tools/host_line.h"

extern char** environ;

namespace handset_sim_test {
namespace {

using testing_support::ReadWholeFile;

// The program, started with its output on a pipe.
class Program {
 public:
  explicit Program(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    m_output = pipeFds[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    std::vector<std::string> all = {HANDSET_SIM_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&m_pid, HANDSET_SIM_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) throw std::runtime_error("cannot start " HANDSET_SIM_PROGRAM);
    m_pidFd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
  }

  ~Program() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    close(m_output);
    if (m_pidFd >= 0) close(m_pidFd);
  }

  void Signal(int signal) const { kill(m_pid, signal); }

  // Reads output until a line contains `text`, for at most timeoutMs; answers that line.
  std::string WaitForLine(const std::string& text, int timeoutMs = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      for (std::size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
        const std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        m_all += line + "\n";
        if (line.find(text) != std::string::npos) return line;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      pollfd fd{m_output, POLLIN, 0};
      if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) return {};
      char buffer[512];
      const ssize_t n = read(m_output, buffer, sizeof buffer);
      if (n <= 0) return {};
      m_pending.append(buffer, static_cast<std::size_t>(n));
    }
  }

  // The exit status, or -1 when the program has not ended within timeoutMs.
  int WaitForExit(int timeoutMs = 3000) {
    pollfd fd{m_pidFd, POLLIN, 0};
    if (m_pidFd < 0 || poll(&fd, 1, timeoutMs) <= 0) return -1;
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Output() {
    WaitForLine("\x01", 0);
    char buffer[4096];
    for (ssize_t n; (n = read(m_output, buffer, sizeof buffer)) > 0;) m_all.append(buffer, static_cast<std::size_t>(n));
    return m_all + m_pending;
  }

 private:
  pid_t m_pid = -1;
  int m_pidFd = -1;
  int m_output = -1;
  std::string m_pending;
  std::string m_all;
};

TEST(Program, ExplainsItselfAndRefusesBadUsage) {
  Program help({"--help"});
  EXPECT_EQ(help.WaitForExit(), 0);
  EXPECT_NE(help.Output().find("Usage: flashgate-handset-sim --port N"), std::string::npos);

  Program bad({"--port", "3", "--nak", "B1@2"});
  EXPECT_EQ(bad.WaitForExit(), 2);
  EXPECT_NE(bad.Output().find("bad value for --nak"), std::string::npos);
}

TEST(Program, FailsWhenThePortCanNotBePublished) {
  TempDir ports;
  std::ofstream(ports.Link(5)) << "a file, not a link";
  Program program({"--port", "5", "--ports-dir", ports.Path()});
  EXPECT_EQ(program.WaitForExit(), 1);
  EXPECT_NE(program.Output().find("not a link"), std::string::npos);
}

TEST(Program, FailsWhenItCanNotComeBack) {
  TempDir ports;
  std::ofstream(ports.Link(6)) << "a file, not a link";
  Program program(
      {"--port", "5", "--ports-dir", ports.Path(), "--mode", "normal", "--return-port", "6", "--return-delay", "0"});
  ASSERT_NE(program.WaitForLine("COM5 on the bus"), "") << program.Output();
  HostLine host(ports.Link(5));
  host.Write(Bytes(handset_sim::kAtCommand, handset_sim::kAtCommand + handset_sim::kAtCommandLength));
  EXPECT_EQ(program.WaitForExit(), 1);
  EXPECT_NE(program.Output().find("cannot come back as COM6"), std::string::npos) << program.Output();
}

// Told where udev would put it and to hang after the first request: it says where it is,
// answers once by its socket's name, then only logs.
TEST(Program, AppearsInADeviceFolderAndHangsWhenToldTo) {
  TempDir dev;
  const std::string logDump = dev.Path() + "/requests.log";
  const std::string byId = dev.Path() + "/serial/by-id/usb-Maker_Handset_77-if00";
  const std::string byPath = dev.Path() + "/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0";
  Program program({"--dev-dir", dev.Path(), "--node", "ttyACM1", "--by-id", "usb-Maker_Handset_77-if00", "--by-path",
                   "pci-0000:00:14.0-usb-0:3:1.0", "--udev-delay", "0", "--hang-at", "1", "--dump-log", logDump});
  ASSERT_NE(program.WaitForLine("ttyACM1 on the bus: " + dev.Path() + "/ttyACM1 -> /dev/pts/"), "") << program.Output();
  ASSERT_NE(program.WaitForLine("ttyACM1 named: " + byId + ", " + byPath + " -> ../../ttyACM1"), "")
      << program.Output();

  HostLine host(byPath);
  host.Write(kHelloFrame);
  EXPECT_EQ(host.Read(4), kAckFrame);
  host.Write(kHelloFrame);
  EXPECT_NE(program.WaitForLine("#2 HELLO -> ignored (hung)"), "") << program.Output();
  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitForExit(), 0);
  EXPECT_EQ(ReadWholeFile(logDump), "#1 HELLO -> ACK, then hangs\n#2 HELLO -> ignored (hung)\n");
  EXPECT_EQ(LinkTarget(byId), "") << "its names leave with it";
  EXPECT_EQ(LinkTarget(dev.Path() + "/ttyACM1"), "");
}

TEST(Program, ServesTheLineAndDumpsOnSignal) {
  TempDir ports;
  const std::string flashDump = ports.Path() + "/flash.bin";
  const std::string logDump = ports.Path() + "/requests.log";
  Program program({"--port", "7", "--ports-dir", ports.Path(), "--dump-flash", flashDump, "--dump-log", logDump});
  ASSERT_NE(program.WaitForLine("COM7 on the bus"), "") << program.Output();

  HostLine host(ports.Link(7));
  host.Write(Frame(ErasePacket(0, 0x2000)));
  EXPECT_EQ(host.Read(4), kAckFrame);
  const Bytes data = BlockData(300, 9);
  host.Write(Frame(WritePacket(0x100, data)));
  EXPECT_EQ(host.Read(4), kAckFrame);
  EXPECT_NE(program.WaitForLine("#2 WRITE offset=0x00000100 count=300 -> ACK"), "");

  program.Signal(SIGUSR1);
  ASSERT_NE(program.WaitForLine("dumps written"), "");
  const std::string flash = ReadWholeFile(flashDump);
  ASSERT_EQ(flash.size(), 0x2000u);
  EXPECT_EQ(Bytes(flash.begin() + 0x100, flash.begin() + 0x100 + 300), data);
  EXPECT_EQ(ReadWholeFile(logDump),
            "#1 ERASE start=0x00000000 length=0x00002000 -> ACK\n"
            "#2 WRITE offset=0x00000100 count=300 -> ACK\n");

  host.Write(kHelloFrame);
  EXPECT_EQ(host.Read(4), kAckFrame);
  program.Signal(SIGTERM);
  EXPECT_EQ(program.WaitForExit(), 0);
  EXPECT_NE(ReadWholeFile(logDump).find("#3 HELLO -> ACK"), std::string::npos) << "dumped again at exit";
}

}  // namespace
}  // namespace handset_sim_test
