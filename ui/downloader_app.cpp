#include "ui/downloader_app.h"

#include "resources/resources.h"
#include "ui/downloader_dlg.h"

CDownloaderApp::CDownloaderApp() = default;

BOOL CDownloaderApp::InitInstance() {
  // The window system hosts every control of the templates, the 3-D look and the rich edit
  // included, without being asked; what the program brings is its resources.
  resources::RegisterResources();
  CDownloaderDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
