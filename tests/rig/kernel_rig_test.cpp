// The program on a real kernel: stations run in a guest whose handsets are QEMU's FTDI USB
// serial devices, driven by the kernel's ftdi_sio and named by real udev. The handset stand-ins
// run here and plug into the guest's USB sockets: connected, the device is on the guest's bus;
// a stand-in that leaves pulls the cable, and its restart is a real re-enumeration.
// One guest serves every test; each test plugs its own handsets and leaves the bus empty.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

#include "tests/rig/guest.h"
#include "tests/support/bytes.h"
#include "tests/support/images.h"
#include "tests/support/read_file.h"
#include "tests/support/temp_dir.h"
#include "tools/handset-sim/simulator.h"

namespace testing_support {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kUsbDevices = 2;
constexpr seconds kRunLimit{120};
// A technician as a desk has one: an account of their own in the port's group.
// A technician as a desk has one: an account of their own, in the port's group. The guest's
// root is whoever runs the rig; run by root, the technician is uid 1000.
const uid_t kTechnicianUid = getuid() == 0 ? 1000 : getuid();
const gid_t kTechnicianGid = getuid() == 0 ? 1000 : getgid();
const std::string kTechnicianIds =
    "--reuid=" + std::to_string(kTechnicianUid) + " --regid=" + std::to_string(kTechnicianGid);
const std::string kTechnician = kTechnicianIds + " --groups=dialout";

Guest* g_guest = nullptr;
const TempDir* g_share = nullptr;

Bytes CodeImage(std::size_t size, BYTE salt) { return MakeImage({"CODE", static_cast<DWORD>(size), 0, 0, salt}); }

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// udev's by-path name of USB device `device`: the xHCI port it is on.
std::string ByPathPattern(int device) {
  return "/dev/serial/by-path/*-usb-0:" + std::to_string(device + 1) + ":1.0-port0";
}

class KernelRig : public ::testing::Test {
 protected:
  ~KernelRig() override {
    for (auto& handset : handsets) handset->Stop();
    for (int device = 0; device < kUsbDevices; ++device) {
      EXPECT_TRUE(guest.Until("! ls " + ByPathPattern(device) + " 2>/dev/null", seconds(30)))
          << "USB device " << device << " is still on the guest's bus";
    }
  }

  // A handset plugged into USB device `device`; answers once the guest's udev has named it.
  handset_sim::Simulator& Plug(int device, handset_sim::Config config = {}) {
    config.socketPath = guest.UsbSocket(device);
    handsets.push_back(std::make_unique<handset_sim::Simulator>(config));
    std::string error;
    EXPECT_TRUE(handsets.back()->Start(&error)) << error;
    EXPECT_TRUE(guest.Until("ls " + ByPathPattern(device) + " >/dev/null 2>&1", seconds(30)))
        << "USB device " << device << " never came up in the guest";
    return *handsets.back();
  }

  std::string Path(const std::string& name) const { return g_share->File(name); }

  std::string WriteImage(const std::string& name, const Bytes& bytes) const {
    WriteBytes(Path(name), bytes);
    return Path(name);
  }

  // A fresh account's home in the shared folder, the technician's own.
  std::string FreshHome(const std::string& name) const {
    const std::string home = Path(name);
    EXPECT_EQ(mkdir(home.c_str(), 0700), 0);
    EXPECT_EQ(chown(home.c_str(), kTechnicianUid, kTechnicianGid), 0);
    return home;
  }

  // The shell command of a batch station run by `user` (a technician in dialout, unless told
  // otherwise), in a fresh account at `home`.
  std::string Station(const std::string& home, const std::string& options,
                      const std::string& user = kTechnician) const {
    return "cd / && setpriv " + user + " env HOME=" + home + " XDG_RUNTIME_DIR=" + home + " " + Path("flashgate") +
           " --batch " + options;
  }

  // Where the guest's link resolves to.
  std::string ResolvedInGuest(const std::string& link) {
    const Guest::Result result = guest.Run("readlink -f " + link);
    return result.output.substr(0, result.output.find('\n'));
  }

  Guest& guest = *g_guest;
  std::vector<std::unique_ptr<handset_sim::Simulator>> handsets;
};

// A fresh account numbers the devices in udev's order, COM3 and COM4, each linked to its by-id
// name; an EMERGENCY run lands byte-exact though every answer comes in pieces, as a slow adapter
// delivers them. The run's pace through the real driver is printed.
TEST_F(KernelRig, AFreshAccountNumbersTheDevicesAndFlashesTheFirst) {
  handset_sim::Config split;
  split.splitAnswersGap = milliseconds(3);
  handset_sim::Simulator& first = Plug(0, split);
  Plug(1);
  const std::string home = FreshHome("fresh");
  const Bytes image = CodeImage(64 * 8192 + 77, 0x3C);
  const auto started = std::chrono::steady_clock::now();
  const Guest::Result run =
      guest.Run(Station(home, "--type emergency --port 3 --code " + WriteImage("fresh.bin", image)), kRunLimit);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(first.Flash(), image);
  std::cout << "through ftdi_sio (" << guest.Accelerator() << "): " << image.size() / 1024 << " KiB in " << elapsed
            << " s, program start included\n";

  const std::string ports = home + "/.config/flashgate/ports/";
  for (const auto& [port, node] : {std::pair{"com3", "/dev/ttyUSB0"}, std::pair{"com4", "/dev/ttyUSB1"}}) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(ports + port, error).string();
    EXPECT_EQ(target.rfind("/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_", 0), 0u) << port << " -> " << target;
    EXPECT_EQ(ResolvedInGuest(target), node) << port;
  }
}

// Two NORMAL stations at once: each handset restarts into download mode, leaving the bus and
// coming back into its own USB port, re-enumerated by the kernel; each station follows its own
// handset by its by-path socket, and each image lands in its own handset.
TEST_F(KernelRig, TwoNormalStationsFollowTheirHandsetsThroughTheirRestart) {
  std::vector<Bytes> images;
  const std::string home = FreshHome("normal");
  std::string both;
  for (int device = 0; device < kUsbDevices; ++device) {
    handset_sim::Config normal;
    normal.mode = handset_sim::Mode::Normal;
    normal.returnDelay = milliseconds(1000 + 1500 * device);
    Plug(device, normal);
    images.push_back(CodeImage(3 * 8192 + 100 * device, static_cast<BYTE>(0x21 + device)));
    const std::string name = "normal" + std::to_string(device);
    both += "(" +
            Station(home, "--type normal --port " + std::to_string(3 + device) + " --code " +
                              WriteImage(name + ".bin", images.back())) +
            " > " + Path(name + ".out") + " 2>&1; echo $? > " + Path(name + ".rc") + ") & ";
  }
  ASSERT_EQ(guest.Run(both + "wait", kRunLimit).code, 0);
  for (int device = 0; device < kUsbDevices; ++device) {
    const std::string name = "normal" + std::to_string(device);
    EXPECT_EQ(ReadWholeFile(Path(name + ".rc")), "0\n") << ReadWholeFile(Path(name + ".out"));
    EXPECT_EQ(handsets[device]->Counts().atCommands, 1u) << name;
    EXPECT_EQ(handsets[device]->Flash(), images[device]) << name;
  }
}

// The cable pulled in the middle of the blocks: the run ends with exit 7 and lets go of the
// port, so the kernel gives the device its node back when it returns, and the next run on it
// completes.
TEST_F(KernelRig, ACablePulledMidRunEndsItAndFreesThePort) {
  handset_sim::Config pulled;
  pulled.unplugAtBlock = 3;
  pulled.returnDelay = milliseconds(1500);
  handset_sim::Simulator& handset = Plug(0, pulled);
  const std::string home = FreshHome("pulled");
  const std::string image = WriteImage("pulled.bin", CodeImage(6 * 8192, 0x77));
  const Guest::Result pulledRun = guest.Run(Station(home, "--type emergency --port 3 --code " + image), kRunLimit);
  EXPECT_EQ(pulledRun.code, 7) << pulledRun.output;
  ASSERT_TRUE(handset.WaitForReturns(1, seconds(10)));
  ASSERT_TRUE(guest.Until("ls " + ByPathPattern(0) + " >/dev/null 2>&1", seconds(30)));
  EXPECT_EQ(ResolvedInGuest(ByPathPattern(0)), "/dev/ttyUSB0")
      << "the returning device got another node: the pulled one was still held open";

  const Guest::Result nextRun = guest.Run(Station(home, "--type emergency --port 3 --code " + image), kRunLimit);
  EXPECT_EQ(nextRun.code, 0) << nextRun.output;
  EXPECT_EQ(handset.Flash(), CodeImage(6 * 8192, 0x77));
}

// A technician outside the dialout group meets the node as udev makes it, root:dialout 0660,
// and is told which group opens it.
TEST_F(KernelRig, AUserOutsideDialoutIsToldTheGroup) {
  Plug(0);
  EXPECT_EQ(guest.Run("stat -c '%U:%G %a' /dev/ttyUSB0").output, "root:dialout 660\n");
  const Guest::Result run =
      guest.Run(Station(FreshHome("outsider"), "--port 3 --code " + WriteImage("outsider.bin", CodeImage(8192, 0)),
                        kTechnicianIds + " --clear-groups"),
                kRunLimit);
  EXPECT_EQ(run.code, 5) << run.output;

  EXPECT_TRUE(Has(run.output, "permission denied. The user must be in the group \"dialout\" (then log in again).\n"))
      << run.output;
}

// The packaged udev rule, with the device's vendor and product ids filled in as its comments
// ask, gives the seat's user the port and keeps ModemManager off it.
TEST_F(KernelRig, ThePackagedRuleTagsTheHandsetsPort) {
  Plug(0);
  const std::string rule = "/etc/udev/rules.d/70-flashgate-handset.rules";
  const Guest::Result test = guest.Run(
      "eval \"$(udevadm info -q property -x -n /dev/ttyUSB0 | grep -E '^ID_(VENDOR|MODEL)_ID=')\" && sed "
      "\"s/VVVV/$ID_VENDOR_ID/; s/PPPP/$ID_MODEL_ID/\" " +
      Guest::Quoted(SOURCE_DIR "/packaging/70-flashgate-handset.rules") + " > " + rule +
      " && udevadm test --action=add \"$(udevadm info -q path -n /dev/ttyUSB0)\" 2>&1; rm -f " + rule);
  EXPECT_TRUE(Has(test.output, "ID_MM_DEVICE_IGNORE=1\n")) << test.output;
  EXPECT_TRUE(Has(test.output, "uaccess")) << test.output;
}

// ModemManager as a Debian desktop runs it, on the guest's own system bus with polkit, told to
// probe the handset's USB device (no rule of ours keeps it off): it takes the handset in its
// normal software for a modem and probes it. A NORMAL run by an administrator asks it to let go
// of the modem before it opens the port, keeps it off while the handset restarts into the same
// socket, and the download lands byte-exact. (Left alone, ModemManager takes the returning
// handset too and probes it, and the run finds the port held.)
TEST_F(KernelRig, ModemManagerLetsGoOfTheHandsetForTheRun) {
  const std::string rule = "/etc/udev/rules.d/77-rig-modem-manager.rules";
  const Guest::Result started =
      guest.Run("echo 'ACTION!=\"remove\", ATTRS{idVendor}==\"0403\", ENV{ID_MM_DEVICE_PROCESS}=\"1\"' > " + rule +
                " && udevadm control --reload && mkdir -p /run/dbus && dbus-daemon --system --fork && "
                "(/usr/lib/polkit-1/polkitd --no-debug > " +
                Path("polkitd.log") +
                " 2>&1 &) && "
                "(ModemManager --log-level=DEBUG > " +
                Path("modem-manager.log") + " 2>&1 &)");
  // However the test ends, the tests after it meet a guest without ModemManager.
  struct Stop {
    Guest& guest;
    std::string rule;
    ~Stop() {
      guest.Run("pkill ModemManager; pkill polkitd; pkill dbus-daemon; rm -f " + rule + "; udevadm control --reload");
    }
  } stop{guest, rule};
  ASSERT_EQ(started.code, 0) << started.output;
  handset_sim::Config normal;
  normal.mode = handset_sim::Mode::Normal;
  normal.returnDelay = milliseconds(1000);
  handset_sim::Simulator& handset = Plug(0, normal);
  EXPECT_TRUE(guest.Until("mmcli -L 2>/dev/null | grep -q /Modem/", seconds(90)))
      << Tail(ReadWholeFile(Path("modem-manager.log")), 40);
  std::size_t probes = 0;
  for (const handset_sim::LogEntry& entry : handset.Log()) {
    probes += entry.kind == handset_sim::LogEntry::Kind::ModemCommand;
  }
  EXPECT_GT(probes, 0u) << "ModemManager's probe never reached the handset";

  const std::string home = Path("administrator");
  mkdir(home.c_str(), 0700);
  const Bytes image = CodeImage(4 * 8192, 0x5A);
  const Guest::Result run =
      guest.Run("cd / && env HOME=" + home + " XDG_RUNTIME_DIR=" + home + " " + Path("flashgate") +
                    " --batch --type normal --port 3 --code " + WriteImage("managed.bin", image),
                kRunLimit);
  EXPECT_EQ(run.code, 0) << run.output << Tail(ReadWholeFile(Path("modem-manager.log")), 40);
  EXPECT_FALSE(Has(run.output, "ModemManager would not")) << run.output;
  EXPECT_EQ(handset.Flash(), image);
  // The run let the modem go back once it was done with the port.
  const std::string managerLog = ReadWholeFile(Path("modem-manager.log"));
  EXPECT_TRUE(Has(managerLog, "device inhibition setup for uid")) << Tail(managerLog, 40);
  EXPECT_TRUE(Has(managerLog, "device inhibition teardown for uid")) << Tail(managerLog, 40);
  std::cout << "ModemManager probed the handset with " << probes << " AT command lines; of the inhibition it says:\n";
  for (std::size_t at = 0, end; (end = managerLog.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = managerLog.substr(at, end - at);
    if (Has(line, "device inhibition") || Has(line, "while inhibited")) std::cout << "  " << line << "\n";
  }
}

// The window's auto-detect on the off-screen display: the kernel's port arrives in the dialog as
// COM3 and leaves it.
TEST_F(KernelRig, TheWindowSeesTheKernelsPortArriveAndLeave) {
  const std::string signals = Path("window");
  mkdir(signals.c_str(), 0777);
  const int probe =
      guest.Start("QT_QPA_PLATFORM=offscreen RIG_SIGNALS=" + signals + " " + Guest::Quoted(WINDOW_PROBE_PROGRAM));
  const auto signalled = [&](const std::string& name) {
    for (int waited = 0; waited < 60000; waited += 50) {
      if (std::filesystem::exists(signals + "/" + name)) return true;
      std::this_thread::sleep_for(milliseconds(50));
    }
    return false;
  };
  ASSERT_TRUE(signalled("watching")) << guest.Wait(probe, seconds(1)).output;
  handset_sim::Config config;
  config.socketPath = guest.UsbSocket(0);
  handsets.push_back(std::make_unique<handset_sim::Simulator>(config));
  std::string error;
  ASSERT_TRUE(handsets.back()->Start(&error)) << error;
  EXPECT_TRUE(signalled("arrived"));
  handsets.back()->Stop();
  const Guest::Result result = guest.Wait(probe, seconds(60));
  EXPECT_EQ(result.code, 0) << result.output;
}

}  // namespace
}  // namespace testing_support

// Boots the guest once for every test. Where this machine lacks what a guest needs, the tests
// are skipped with the reason; a guest that does not come up is a failure.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const testing_support::TempDir share;
  chmod(share.Path().c_str(), 0755);
  // The technician cannot reach a build tree in a private folder (a home is 0700).
  std::filesystem::copy_file(FLASHGATE_PROGRAM, share.File("flashgate"));
  std::string why = testing_support::Guest::Unavailable();
  if (!why.empty()) {
    std::cout << "SKIP: the kernel rig cannot run here: " << why << "\n";
    return 77;
  }
  // A guest under emulation on a busy machine once stayed dark for its whole boot limit; it
  // gets one more boot before the rig fails, and the first one's console is shown either way.
  std::unique_ptr<testing_support::Guest> guest;
  for (int boot = 1; !guest && boot <= 2; ++boot) {
    guest = testing_support::Guest::Boot(share.Path(), 2, &why);
    if (!guest) std::cout << "The guest did not come up (boot " << boot << " of 2): " << why << "\n";
  }
  if (!guest) return 1;
  testing_support::g_guest = guest.get();
  testing_support::g_share = &share;
  return RUN_ALL_TESTS();
}
