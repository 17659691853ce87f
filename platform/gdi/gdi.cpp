#include "platform/gdi/gdi.h"

#include <map>

#include "platform/user/ui_system.h"
#include "platform/user/wnd.h"

namespace platform {
namespace {

// Painting happens on the user-interface thread only.
std::map<HWND, PaintSurface*>& Surfaces() {
  static std::map<HWND, PaintSurface*> surfaces;
  return surfaces;
}

}  // namespace

void SetPaintSurface(HWND window, PaintSurface* surface) {
  if (surface) {
    Surfaces()[window] = surface;
  } else {
    Surfaces().erase(window);
  }
}

PaintSurface* PaintSurfaceOf(HWND window) {
  const auto found = Surfaces().find(window);
  return found == Surfaces().end() ? nullptr : found->second;
}

}  // namespace platform

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXICON:
    case SM_CYICON: return 32;
    default: return 0;
  }
}

COLORREF GetSysColor(int index) {
  const platform::UiSystem* system = platform::TheUiSystem();
  return system ? system->SystemColor(index) : 0;
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  if (!m_surface || !icon) return FALSE;
  m_surface->DrawIcon(x, y, icon);
  return TRUE;
}

CPaintDC::CPaintDC(CWnd* window) { m_surface = platform::PaintSurfaceOf(window->GetSafeHwnd()); }
