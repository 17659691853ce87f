// CWinApp: the one application object. The framework runs its InitInstance at start-up.
#pragma once

#include <vector>

#include "platform/kernel/text.h"
#include "platform/user/wnd.h"

class CWinApp : public CObject {
 public:
  // Without a name of its own the application takes the executable's.
  explicit CWinApp(LPCSTR appName = nullptr);
  ~CWinApp() override;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Runs before the window system starts, with the command line known: FALSE ends the
  // program at once, with ExitInstance's code.
  virtual BOOL InitApplication() { return TRUE; }
  // FALSE ends the program as soon as it returns.
  virtual BOOL InitInstance() { return FALSE; }
  // The program's exit code.
  virtual int ExitInstance() { return 0; }

  CWnd* m_pMainWnd = nullptr;
  // The command line after the program's name, one entry per argument.
  std::vector<CString> m_arguments;
};

CWinApp* AfxGetApp();
// The application's main window, if there is one: the owner of dialogs and message boxes
// that name none.
CWnd* AfxGetMainWnd();

namespace platform {

// Asked for in InitApplication: windows are made, drawn and run as ever, on no screen, so the
// program needs no display (a run driven from the command line).
void UseOffscreenDisplay();
bool OffscreenDisplayRequested();

}  // namespace platform
