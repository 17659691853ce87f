// The application object: reads the command line, runs the main dialog modally (on no screen
// for a batch run) and ends the program with it.
#pragma once

#include "link/frame_trace.h"
#include "platform/user/app.h"
#include "ui/command_line.h"

class CDownloaderDlg;

class CDownloaderApp : public CWinApp {
 public:
  CDownloaderApp();
  BOOL InitApplication() override;
  BOOL InitInstance() override;
  int ExitInstance() override;

 private:
  // False when it could not run: the report asked for cannot be written.
  bool RunMainDialog(CDownloaderDlg& dialog);

  CommandLine m_commandLine;
  CFrameTrace m_trace;
  int m_nExitCode = EXIT_COMPLETED;
};
