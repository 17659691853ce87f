#include "tests/rig/guest.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <elf.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/read_file.h"

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

// Under emulation on a loaded machine the guest takes about 15 s; this is its limit.
constexpr std::chrono::seconds kBootLimit{120};

// The program's path on $PATH or in the system's folders, which a user's $PATH may lack;
// empty when it is nowhere.
std::string FindProgram(const std::string& program) {
  const char* path = std::getenv("PATH");
  const std::string dirs = std::string(path ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin";
  for (std::size_t from = 0; from <= dirs.size();) {
    const std::size_t to = std::min(dirs.find(':', from), dirs.size());
    const std::string candidate = dirs.substr(from, to - from) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    from = to + 1;
  }
  return "";
}

// The newest installed kernel that has its modules: the guest loads its drivers from them.
std::string InstalledKernelVersion() {
  std::string newest;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/boot", error)) {
    const std::string name = entry.path().filename();
    if (name.rfind("vmlinuz-", 0) != 0) continue;
    const std::string version = name.substr(8);
    if (!std::filesystem::exists("/lib/modules/" + version + "/modules.dep")) continue;
    if (newest.empty() || strverscmp(version.c_str(), newest.c_str()) > 0) newest = version;
  }
  return newest;
}

// KVM where the processor offers virtualisation to this machine; a /dev/kvm without it (a
// nested sandbox's) starts guests that never run.
std::string ChooseAccelerator() {
  if (const char* chosen = std::getenv("FLASHGATE_RIG_ACCEL"); chosen && *chosen) return chosen;
  const int kvm = open("/dev/kvm", O_RDWR | O_CLOEXEC);
  if (kvm < 0) return "tcg";
  close(kvm);
  const std::string cpuinfo = ReadWholeFile("/proc/cpuinfo");
  const bool virtualisation = cpuinfo.find(" vmx") != std::string::npos || cpuinfo.find(" svm") != std::string::npos;
  return virtualisation ? "kvm" : "tcg";
}

// Whether the program at `path` stands alone: an ELF file without an interpreter.
bool StaticallyLinked(const std::string& path) {
  const std::string elf = ReadWholeFile(path);
  Elf64_Ehdr header{};
  if (elf.size() < sizeof header) return false;
  std::memcpy(&header, elf.data(), sizeof header);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) return false;
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr program{};
    const std::size_t at = header.e_phoff + std::size_t{i} * header.e_phentsize;
    if (at + sizeof program > elf.size()) return false;
    std::memcpy(&program, elf.data() + at, sizeof program);
    if (program.p_type == PT_INTERP) return false;
  }
  return true;
}
}  // namespace

std::string Tail(const std::string& text, std::size_t lines) {
  std::size_t at = text.size();
  if (at > 0 && text[at - 1] == '\n') --at;
  while (lines-- > 0) {
    const std::size_t newline = at == 0 ? std::string::npos : text.rfind('\n', at - 1);
    if (newline == std::string::npos) return text;
    at = newline;
  }
  return text.substr(at + 1);
}

std::string Guest::Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Guest::Unavailable() {
  for (const char* program : {"qemu-system-x86_64", "cpio", "modprobe"}) {
    if (FindProgram(program).empty()) return std::string(program) + " is not installed (scripts/setup installs it)";
  }
  const std::string version = InstalledKernelVersion();
  if (version.empty()) return "no kernel with its modules in /boot and /lib/modules (package linux-image-amd64)";
  if (access(("/boot/vmlinuz-" + version).c_str(), R_OK) != 0) return "cannot read /boot/vmlinuz-" + version;
  if (!StaticallyLinked("/bin/busybox")) return "no static /bin/busybox (package busybox-static)";
  return "";
}

std::unique_ptr<Guest> Guest::Boot(const std::string& share, int usbDevices, std::string* why) {
  const std::string version = InstalledKernelVersion();
  const std::string kernel = "/boot/vmlinuz-" + version;
  // The first process goes into the shared folder, whose name the kernel's command line carries
  // unharmed wherever the build tree is.
  std::error_code copied;
  std::filesystem::copy_file(RIG_DIR "/guest-init", share + "/guest-init",
                             std::filesystem::copy_options::overwrite_existing, copied);
  std::filesystem::permissions(share + "/guest-init", std::filesystem::perms(0755), copied);
  if (copied) {
    *why = "cannot copy guest-init into " + share + ": " + copied.message();
    return nullptr;
  }
  ChildProcess initramfs({"/bin/bash", RIG_DIR "/make-initramfs", version, share + "/initrd.gz"}, {},
                         share + "/initramfs.out", share + "/initramfs.err");
  if (initramfs.Wait(std::chrono::seconds(60)) != 0) {
    *why = "cannot make the guest's initramfs: " + ReadWholeFile(share + "/initramfs.err");
    return nullptr;
  }

  std::unique_ptr<Guest> guest(new Guest(share, ChooseAccelerator()));
  // QEMU goes with the test, however the test ends.
  std::vector<std::string> command = {
      "/usr/bin/setpriv", "--pdeathsig", "KILL", FindProgram("qemu-system-x86_64"), "-accel", guest->m_accelerator,
      "-m", "1024", "-smp", "2", "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot", "-serial",
      "file:" + share + "/console.log", "-kernel", kernel, "-initrd", share + "/initrd.gz", "-append",
      "console=ttyS0 quiet panic=-1 rig.init=" + share + "/guest-init rig.share=" + share,
      // The host's root, so that the guest runs the build tree's programs at their own paths.
      "-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap", "-virtfs",
      "local,path=" + share + ",mount_tag=rigshare,security_model=none",
      // The control port, and the USB controller with the handsets' serial devices.
      "-device", "virtio-serial-pci", "-chardev",
      "socket,id=control,path=" + share + "/control.sock,server=on,wait=off", "-device",
      "virtserialport,chardev=control,name=rig.control", "-device", "qemu-xhci,id=xhci"};
  for (int device = 0; device < usbDevices; ++device) {
    const std::string id = "usb" + std::to_string(device);
    command.insert(command.end(),
                   {"-chardev", "socket,id=" + id + ",path=" + guest->UsbSocket(device) + ",server=on,wait=off",
                    "-device", "usb-serial,chardev=" + id + ",bus=xhci.0,port=" + std::to_string(device + 1)});
  }
  guest->m_qemu = std::make_unique<ChildProcess>(command, std::map<std::string, std::string>{}, share + "/qemu.out",
                                                 share + "/qemu.err");
  if (!guest->Connect(why)) return nullptr;
  return guest;
}

Guest::Guest(std::string share, std::string accelerator)
    : m_share(std::move(share)), m_accelerator(std::move(accelerator)) {}

Guest::~Guest() {
  if (m_control >= 0) close(m_control);
  if (m_qemu) {
    m_qemu->Signal(SIGTERM);
    m_qemu->Wait(std::chrono::seconds(10));
  }
}

std::string Guest::UsbSocket(int device) const { return m_share + "/usb" + std::to_string(device) + ".sock"; }

bool Guest::Connect(std::string* why) {
  const auto deadline = Clock::now() + kBootLimit;
  const std::string path = m_share + "/control.sock";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  while (m_control < 0) {
    if (m_qemu->Wait(std::chrono::milliseconds(0))) {
      *why = "QEMU ended: " + ReadWholeFile(m_share + "/qemu.err");
      return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      m_control = fd;
    } else {
      close(fd);
      if (Clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  for (;;) {
    const std::optional<std::string> line = m_control < 0 ? std::nullopt : ReadLine(deadline);
    if (line == "ready") return true;
    if (!line) break;
  }
  *why = "the guest (" + m_accelerator + ") did not come up in " + std::to_string(kBootLimit.count()) +
         " s; the end of its console:\n" + Tail(ReadWholeFile(m_share + "/console.log"), 20) +
         ReadWholeFile(m_share + "/qemu.err");
  return false;
}

std::optional<std::string> Guest::ReadLine(Clock::time_point deadline) {
  for (;;) {
    const std::size_t end = m_received.find('\n');
    if (end != std::string::npos) {
      std::string line = m_received.substr(0, end);
      m_received.erase(0, end + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd fd{m_control, POLLIN, 0};
    if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) return std::nullopt;
    char buffer[512];
    const ssize_t n = read(m_control, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    m_received.append(buffer, static_cast<std::size_t>(n));
  }
}

int Guest::Start(const std::string& command) {
  const std::string line = std::to_string(++m_lastId) + " " + command + "\n";
  if (command.find('\n') != std::string::npos ||
      write(m_control, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    return -1;
  }
  return m_lastId;
}

Guest::Result Guest::Wait(int id, std::chrono::seconds timeout) {
  Result result;
  const std::string prefix = std::to_string(id) + " ";
  const auto deadline = Clock::now() + timeout;
  while (std::optional<std::string> line = ReadLine(deadline)) {
    if (line->rfind(prefix, 0) == 0) {
      result.code = std::atoi(line->c_str() + prefix.size());
      break;
    }
  }
  result.output = ReadWholeFile(m_share + "/" + std::to_string(id) + ".out");
  return result;
}

Guest::Result Guest::Run(const std::string& command, std::chrono::seconds timeout) {
  return Wait(Start(command), timeout);
}

bool Guest::Until(const std::string& condition, std::chrono::seconds timeout) {
  const std::string tries = std::to_string(timeout.count() * 10);
  return Run("i=0; until " + condition + "; do i=$((i+1)); [ $i -gt " + tries + " ] && exit 1; sleep 0.1; done",
             timeout + std::chrono::seconds(5))
             .code == 0;
}

}  // namespace testing_support
