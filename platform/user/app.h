// CWinApp: the one application object. The framework runs its InitInstance at start-up.
#pragma once

#include "platform/user/wnd.h"

class CWinApp : public CObject {
 public:
  // Without a name of its own the application takes the executable's.
  explicit CWinApp(LPCSTR appName = nullptr);
  ~CWinApp() override;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // FALSE ends the program as soon as it returns.
  virtual BOOL InitInstance() { return FALSE; }

  CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
// The application's main window, if there is one: the owner of dialogs and message boxes
// that name none.
CWnd* AfxGetMainWnd();
