// A whole EMERGENCY run through a real kernel's USB serial driver: the program in the kernel
// rig's guest (tests/rig) on ftdi_sio, the handset stand-in plugged into QEMU's emulated FTDI
// device. The device is emulated, with no line rate of its own, so the figure says what the
// driver and the emulation carry, not what a handset's line does.
//   rig_bench [MiB]
#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "tests/rig/guest.h"
#include "tests/support/bytes.h"
#include "tests/support/images.h"
#include "tests/support/read_file.h"
#include "tests/support/temp_dir.h"
#include "tools/handset-sim/simulator.h"

using testing_support::Guest;

namespace {

// Seconds from the trace's first frame to its last.
double LineSeconds(const std::string& trace) {
  std::istringstream lines(trace);
  std::string line;
  long long first = -1;
  long long last = -1;
  while (std::getline(lines, line)) {
    long long at = 0;
    if (line.empty() || line[0] == '#' || std::sscanf(line.c_str(), "%lld", &at) != 1) continue;
    if (first < 0) first = at;
    last = at;
  }
  return first < 0 ? 0.0 : static_cast<double>(last - first) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int mebibytes = argc > 1 ? std::stoi(argv[1]) : 4;
  const testing_support::TempDir share;
  chmod(share.Path().c_str(), 0755);
  std::string why = Guest::Unavailable();
  if (!why.empty()) {
    std::cout << "SKIP: the kernel rig cannot run here: " << why << "\n";
    return 77;
  }
  const std::unique_ptr<Guest> guest = Guest::Boot(share.Path(), 1, &why);
  if (!guest) {
    std::cerr << "the guest did not come up: " << why << "\n";
    return 1;
  }
  handset_sim::Config config;
  config.socketPath = guest->UsbSocket(0);
  handset_sim::Simulator handset(config);
  if (!handset.Start(&why) || !guest->Until("ls /dev/serial/by-id/* >/dev/null 2>&1", std::chrono::seconds(30))) {
    std::cerr << "the handset did not come up in the guest " << why << "\n";
    return 1;
  }
  const testing_support::Bytes image =
      testing_support::MakeImage({"CODE", static_cast<DWORD>(mebibytes) << 20, 0, 0, 0x5A});
  testing_support::WriteBytes(share.File("image.bin"), image);
  const Guest::Result run = guest->Run("HOME=" + share.File("home") + " " + Guest::Quoted(FLASHGATE_PROGRAM) +
                                           " --batch --type emergency --port 3 --code " + share.File("image.bin") +
                                           " --trace " + share.File("run.trace"),
                                       std::chrono::seconds(600));
  if (run.code != 0 || handset.Flash() != image) {
    std::cerr << "the run failed (" << run.code.value_or(-1) << "):\n" << run.output;
    return 1;
  }
  const double seconds = LineSeconds(testing_support::ReadWholeFile(share.File("run.trace")));
  std::printf("rig run (%s): %d MiB in %.2f s on the line, %.0f KiB/s\n", guest->Accelerator().c_str(), mebibytes,
              seconds, mebibytes * 1024 / seconds);
  handset.Stop();
  return 0;
}
