#include "platform/user/app.h"

#include "platform/user/message_box.h"

namespace {
CWinApp* g_app = nullptr;
bool g_offscreen = false;
}  // namespace

CWinApp::CWinApp(LPCSTR appName) {
  g_app = this;
  if (appName) platform::SetAppName(appName);
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

namespace platform {

void UseOffscreenDisplay() { g_offscreen = true; }

bool OffscreenDisplayRequested() { return g_offscreen; }

}  // namespace platform
