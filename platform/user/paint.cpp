#include "platform/user/paint.h"

#include "platform/user/internal/window_table.h"
#include "platform/user/resources.h"
#include "platform/user/ui_system.h"
#include "platform/user/window_backend.h"
#include "platform/user/wnd.h"

int GetSystemMetrics(int index) { return index == SM_CXICON || index == SM_CYICON ? platform::kSystemIconSize : 0; }

COLORREF GetSysColor(int index) {
  const platform::UiSystem* system = platform::TheUiSystem();
  return system ? system->SystemColor(index) : 0;
}

HICON LoadImage(UINT id, UINT type, int, int, UINT) { return type == IMAGE_ICON ? AfxLoadIcon(id) : nullptr; }

BOOL DestroyIcon(HICON icon) { return icon ? TRUE : FALSE; }

CPaintDC::CPaintDC(CWnd* window) {
  platform::WindowBackend* backend = window ? platform::BackendOf(window->GetSafeHwnd()) : nullptr;
  Attach(backend ? backend->PaintContext() : nullptr);
}
