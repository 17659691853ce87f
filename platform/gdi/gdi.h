// The little drawing a dialog does itself: an icon into the window being painted.
#pragma once

#include "platform/kernel/types.h"
#include "platform/user/resources.h"

class CWnd;

constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;

constexpr int COLOR_BTNFACE = 15;

int GetSystemMetrics(int index);
// A colour of the desktop's scheme; black while no window system runs.
COLORREF GetSysColor(int index);

namespace platform {

// What a window being painted can be drawn on; the toolkit provides it during a paint.
class PaintSurface {
 public:
  virtual ~PaintSurface() = default;
  virtual void DrawIcon(int x, int y, HICON icon) = 0;
};

// The surface of `window` while it is being painted, else null.
void SetPaintSurface(HWND window, PaintSurface* surface);
PaintSurface* PaintSurfaceOf(HWND window);

}  // namespace platform

class CDC {
 public:
  BOOL DrawIcon(int x, int y, HICON icon);
  WPARAM GetSafeHdc() const { return reinterpret_cast<WPARAM>(m_surface); }

 protected:
  platform::PaintSurface* m_surface = nullptr;
};

// Draws on a window during its WM_PAINT.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* window);
};
