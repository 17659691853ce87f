// flashgate-handset-sim: a handset's download program on a pseudo-terminal, for trying
// Flashgate without a handset. See --help.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "tools/handset-sim/options.h"
#include "tools/handset-sim/simulator.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Writes the dumps that were asked for; false when one could not be written.
bool WriteDumps(const handset_sim::Simulator& simulator, const handset_sim::ProgramOptions& options) {
  bool ok = true;
  if (!options.dumpFlash.empty() && !simulator.DumpFlash(options.dumpFlash)) {
    std::cerr << "flashgate-handset-sim: cannot write " << options.dumpFlash << "\n";
    ok = false;
  }
  if (!options.dumpLog.empty() && !simulator.DumpLog(options.dumpLog)) {
    std::cerr << "flashgate-handset-sim: cannot write " << options.dumpLog << "\n";
    ok = false;
  }
  if (options.quiet) return ok;
  if (options.dumpFlash.empty() && options.dumpLog.empty()) {
    std::cout << "nothing to dump: no --dump-flash or --dump-log given" << std::endl;
  } else if (ok) {
    std::cout << "dumps written" << std::endl;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  handset_sim::ProgramOptions options;
  std::string error;
  if (!handset_sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::cerr << "flashgate-handset-sim: " << error << "\nTry flashgate-handset-sim --help.\n";
    return kExitUsage;
  }
  if (options.help) {
    std::cout << handset_sim::UsageText();
    return 0;
  }

  // Signals are taken by sigwait below, never by a handler, so every thread blocks them;
  // SIGUSR2 is how the simulator's thread says that it gave up.
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  std::mutex outputMutex;
  if (!options.quiet) {
    options.config.onEvent = [&outputMutex](const std::string& line) {
      std::lock_guard<std::mutex> lock(outputMutex);
      std::cout << line << std::endl;
    };
  }
  options.config.onFailure = [] { kill(getpid(), SIGUSR2); };

  if (!options.quiet && !options.faultSchedule.empty()) std::cout << options.faultSchedule << std::endl;
  handset_sim::Simulator simulator(options.config);
  if (!simulator.Start(&error)) {
    std::cerr << "flashgate-handset-sim: " << error << "\n";
    return kExitFailure;
  }

  int exitCode = 0;
  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) continue;
    if (signal == SIGUSR1) {
      WriteDumps(simulator, options);
      continue;
    }
    if (signal == SIGUSR2) {
      std::cerr << "flashgate-handset-sim: " << simulator.Failure() << "\n";
      exitCode = kExitFailure;
    }
    break;
  }
  simulator.Stop();
  if (!WriteDumps(simulator, options)) exitCode = kExitFailure;
  return exitCode;
}
