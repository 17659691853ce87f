// The application object: runs the main dialog modally and ends the program with it.
#pragma once

#include "platform/user/app.h"

class CDownloaderApp : public CWinApp {
 public:
  CDownloaderApp();
  BOOL InitInstance() override;
};
