// Whole download runs, measured end to end: the main dialog with its receive thread sends an
// image over a pseudo-terminal to the handset stand-in, a program of its own.
//
//   run_bench throughput [MiB]   a run beside a bare stop-and-wait loop over the same line
//   run_bench wire [KiB]         a run at 57600 baud: the wire's share and the CPU's share
//   run_bench log [lines]        the time to append a log line, early and late in a long log
//
// Run the Release build; the window system runs off-screen.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "link/commands.h"
#include "link/frame.h"
#include "platform/qt/qt_app.h"
#include "platform/user/app.h"
#include "platform/user/message_box.h"
#include "platform/user/messages.h"
#include "platform/user/ui_system.h"
#include "resources/resource.h"
#include "resources/resources.h"
#include "ui/downloader_dlg.h"
#include "ui/settings.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kPort = 7;
constexpr DWORD kBlock = 8192;
constexpr double kMiB = 1024.0 * 1024.0;

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A private folder for the settings, the port map and drive C, removed at the end.
class Workspace {
 public:
  Workspace() {
    char pattern[] = "/tmp/flashgate-bench-XXXXXX";
    m_dir = mkdtemp(pattern);
    setenv("FLASHGATE_REGISTRY", (m_dir + "/registry.reg").c_str(), 1);
    setenv("FLASHGATE_PORTS_DIR", (m_dir + "/ports").c_str(), 1);
    setenv("FLASHGATE_DRIVE_C", m_dir.c_str(), 1);
  }
  ~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }
  std::string File(const std::string& name) const { return m_dir + "/" + name; }
  std::string PortLink() const { return m_dir + "/ports/com" + std::to_string(kPort); }

 private:
  std::string m_dir;
};

// The handset stand-in as a program of its own, so this process's time is the product's.
class Handset {
 public:
  Handset(const Workspace& workspace, std::vector<std::string> extra) : m_flashPath(workspace.File("flash.bin")) {
    std::vector<std::string> args = {HANDSET_SIM_PROGRAM, "--port",    std::to_string(kPort), "--quiet",
                                     "--dump-flash",      m_flashPath, "--return-delay",      "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) m_pid = -1;
    // It is on the bus once its port link is there.
    struct stat ignored {};
    for (int i = 0; i < 500 && lstat(workspace.PortLink().c_str(), &ignored) != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Handset() { Stop(); }

  // Stops the handset and answers the flash it was left with.
  std::vector<BYTE> StopAndReadFlash() {
    Stop();
    std::ifstream in(m_flashPath, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), {});
  }

 private:
  void Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

  std::string m_flashPath;
  pid_t m_pid = -1;
};

std::vector<BYTE> Image(std::size_t size) {
  std::mt19937 random(17);
  std::vector<BYTE> image(size);
  for (BYTE& b : image) b = static_cast<BYTE>(random());
  const char tag[] = "CODE";
  for (int i = 0; i < 4; ++i) image[i] = static_cast<BYTE>(tag[i]);
  PutLe32(&image[4], static_cast<DWORD>(size));
  PutLe32(&image[8], 0);
  return image;
}

std::string WriteImage(const Workspace& workspace, const std::vector<BYTE>& image) {
  const std::string path = workspace.File("image.bin");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return path;
}

// Runs the main dialog with `operate` as the operator; message boxes are answered at once
// and the last one's text kept.
void WithMainDialog(const std::function<void(CDownloaderDlg&, const std::string& lastBox)>& operate) {
  std::string lastBox;
  platform::SetMessageBoxHandler([&lastBox](const platform::MessageBoxRequest& box) {
    lastBox = box.text.str();
    return IDOK;
  });
  CDownloaderDlg dialog;
  CWinApp app;
  app.m_pMainWnd = &dialog;
  platform::SetModalHandler([&](CDialog&) {
    operate(dialog, lastBox);
    dialog.SendMessage(WM_CLOSE);
    return IDOK;
  });
  dialog.DoModal();
  platform::SetModalHandler(nullptr);
}

// Presses Download with `path` as the code image and dispatches until the final report.
Clock::duration DownloadInDialog(CDownloaderDlg& dialog, const std::string& path, const std::string& lastBox) {
  dialog.m_bCodeSelected = 1;
  dialog.m_strCodePath = CString(path);
  dialog.UpdateDownloadButton();
  const Clock::time_point start = Clock::now();
  dialog.GetDlgItem(IDC_DOWNLOAD)->SendMessage(BM_CLICK);
  while (lastBox.rfind("Downloading completed", 0) != 0) {
    platform::WaitForPostedMessage(100);
    platform::PumpPostedMessages();
    if (Clock::now() - start > std::chrono::minutes(10)) {
      std::fprintf(stderr, "the run did not finish\n");
      std::exit(1);
    }
  }
  return Clock::now() - start;
}

// The least a host can do: each block framed, written, and its ACK awaited, on one thread.
Clock::duration BareLoop(const Workspace& workspace, const std::vector<BYTE>& image) {
  const int fd = open(workspace.PortLink().c_str(), O_RDWR | O_NOCTTY);
  std::vector<BYTE> packet(1 + 4 + 2 + kBlock);
  std::vector<BYTE> frame(wire::MaxFrameLength(packet.size()));
  BYTE answer[64];
  const Clock::time_point start = Clock::now();
  for (std::size_t offset = 0; offset < image.size(); offset += kBlock) {
    const std::size_t count = std::min<std::size_t>(kBlock, image.size() - offset);
    packet.assign(packet.size(), 0);
    packet[0] = CMD_WRITE;
    PutLe32(&packet[1], static_cast<DWORD>(offset));
    PutLe16(&packet[5], static_cast<WORD>(count));
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), count, packet.begin() + 7);
    const std::size_t length = wire::EncodeFrame(packet.data(), packet.size(), frame.data());
    for (std::size_t done = 0; done < length;) done += static_cast<std::size_t>(write(fd, &frame[done], length - done));
    // The answer ends with a flag.
    for (bool ended = false; !ended;) {
      const ssize_t n = read(fd, answer, sizeof answer);
      for (ssize_t i = 0; i < n; ++i) ended = ended || answer[i] == wire::kFlag;
    }
  }
  const Clock::duration elapsed = Clock::now() - start;
  close(fd);
  return elapsed;
}

int Throughput(std::size_t mib) {
  Workspace workspace;
  const std::vector<BYTE> image = Image(mib << 20);
  const std::string path = WriteImage(workspace, image);
  WriteRegInt(kPortValue, static_cast<int>(kPort));

  Clock::duration run{};
  bool landed = false;
  {
    Handset handset(workspace, {});
    WithMainDialog(
        [&](CDownloaderDlg& dialog, const std::string& lastBox) { run = DownloadInDialog(dialog, path, lastBox); });
    landed = handset.StopAndReadFlash() == image;
  }
  Clock::duration bare{};
  {
    Handset handset(workspace, {});
    bare = BareLoop(workspace, image);
  }
  const double runRate = image.size() / kMiB / Seconds(run);
  const double bareRate = image.size() / kMiB / Seconds(bare);
  std::printf(
      "throughput: %zu MiB image, EMERGENCY run through the dialog %.2f MB/s (%.2f s), "
      "bare stop-and-wait loop %.2f MB/s (%.2f s), ratio %.0f %% (goal >= 50 %%), flash %s\n",
      mib, runRate, Seconds(run), bareRate, Seconds(bare), 100.0 * runRate / bareRate, landed ? "matches" : "DIFFERS");
  return landed ? 0 : 1;
}

int Wire(std::size_t kib) {
  constexpr unsigned kBaud = 57600;
  Workspace workspace;
  const std::vector<BYTE> image = Image(kib << 10);
  const std::string path = WriteImage(workspace, image);
  WriteRegInt(kPortValue, static_cast<int>(kPort));

  Handset handset(workspace, {"--baud", std::to_string(kBaud)});
  Clock::duration run{};
  double cpu = 0;
  WithMainDialog([&](CDownloaderDlg& dialog, const std::string& lastBox) {
    const double cpuBefore = CpuSeconds();
    run = DownloadInDialog(dialog, path, lastBox);
    cpu = CpuSeconds() - cpuBefore;
  });
  const bool landed = handset.StopAndReadFlash() == image;
  // The line carries 10 bits a byte; the image is the payload.
  const double ideal = kBaud / 10.0;
  const double rate = image.size() / Seconds(run);
  std::printf(
      "wire: %zu KiB at %u baud in %.1f s: payload %.0f B/s, %.1f %% of the wire's %.0f B/s (goal >= 98 %%); "
      "CPU %.2f s, %.2f %% of the run (goal <= 5 %%); flash %s\n",
      kib, kBaud, Seconds(run), rate, 100.0 * rate / ideal, ideal, cpu, 100.0 * cpu / Seconds(run),
      landed ? "matches" : "DIFFERS");
  return landed ? 0 : 1;
}

int LogAppend(int lines) {
  Workspace workspace;
  constexpr int kSample = 1000;
  double first = 0;
  double last = 0;
  WithMainDialog([&](CDownloaderDlg& dialog, const std::string&) {
    for (int i = 0; i < lines; ++i) {
      CString text;
      text.Format("Flash Programming 중 %d", i);
      const Clock::time_point start = Clock::now();
      dialog.m_run.AppendLogLine(i % 3 == 0 ? COLOR_RUN : COLOR_INFO, text);
      const double took = Seconds(Clock::now() - start);
      if (i < kSample) first += took;
      if (i >= lines - kSample) last += took;
    }
  });
  std::printf("log: %d lines appended; per line, first %d: %.1f us, last %d: %.1f us, ratio %.2f (goal < 2)\n", lines,
              kSample, first / kSample * 1e6, kSample, last / kSample * 1e6, last / first);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string what = argc > 1 ? argv[1] : "";
  const long size = argc > 2 ? std::atol(argv[2]) : 0;
  platform::qt::StartUi(argc, argv);
  resources::RegisterResources();
  if (what == "throughput") return Throughput(size > 0 ? static_cast<std::size_t>(size) : 16);
  if (what == "wire") return Wire(size > 0 ? static_cast<std::size_t>(size) : 256);
  if (what == "log") return LogAppend(size > 0 ? static_cast<int>(size) : 100000);
  std::fprintf(stderr, "usage: run_bench throughput [MiB] | wire [KiB] | log [lines]\n");
  return 2;
}
