// The application object: reads the command line, runs the main dialog modally, or a batch
// run as a station without a window, and ends the program with it.
#pragma once

#include "link/frame_trace.h"
#include "platform/user/app.h"
#include "ui/command_line.h"

class CRunRecorder;

class CDownloaderApp : public CWinApp {
 public:
  CDownloaderApp();
  BOOL InitApplication() override;
  BOOL InitInstance() override;
  int ExitInstance() override;

 private:
  void RunWindow(CRunRecorder& recorder);
  void RunStation(CRunRecorder& recorder);

  CommandLine m_commandLine;
  CFrameTrace m_trace;
  int m_nExitCode = EXIT_COMPLETED;
};
