// The command line: what the operator would otherwise pick in the window, and how the program
// runs (in a window, pressing Download itself, or without a window as one batch download).
#pragma once

#include <string>
#include <vector>

#include "download/download_type.h"
#include "platform/kernel/text.h"

// The choices the window starts with instead of the operator's. None of them is written to the
// settings: they hold for this start only.
struct Preselection {
  int port = 0;                                // 0: the stored port
  std::string codePath;                        // empty: no code image
  std::string fontPath;                        // empty: no font image
  std::string fontAddress;                     // hexadecimal digits only
  const DownloadType* downloadType = nullptr;  // null: the stored type
  bool bootArea = false;                       // Change Boot Area, without the typed confirmation
  bool start = false;                          // press Download once the window is up
  bool demo = false;                           // the handset is the bundled simulator: the log says so
};

struct CommandLine {
  Preselection preselection;
  bool batch = false;
  int stallSeconds = 60;     // batch: silence from the handset that ends the run
  int eraseSeconds = 300;    // batch: how long the handset may take to erase an area
  int modeWaitSeconds = 10;  // batch: the least wait for a NORMAL handset to restart, as the window waits
  std::string reportPath;    // batch: where the run's report is written too; empty: only beside its record
  std::string tracePath;     // where every frame both ways is written; empty: no trace
  bool listPorts = false;    // list the ports and exit
  bool json = false;         // the ports, or a batch run, as JSON Lines
  bool help = false;
  bool version = false;
};

// The exit codes of a batch run, and of a command line that cannot be used.
enum ExitCode {
  EXIT_COMPLETED = 0,
  EXIT_FAILED = 1,  // the window system could not start
  EXIT_USAGE = 2,
  EXIT_NO_ANSWER = 3,
  EXIT_RECONNECT_FAILED = 4,
  EXIT_PORT_NOT_OPENED = 5,
  EXIT_REFUSED = 6,
  EXIT_HANDSET_LOST = 7,
  EXIT_UNCONFIRMED = 8,  // completed, but the handset did not confirm all that was sent
  EXIT_IMAGE_UNREADABLE = 9,
};

// False with the reason in `error` when the arguments (after the program's name) cannot be used.
bool ParseCommandLine(const std::vector<CString>& arguments, CommandLine* commandLine, std::string* error);
std::string UsageText();
