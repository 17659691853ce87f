// What painting a window asks of the window system: the context of a paint, the desktop's
// colours and metrics, and icons at the size a control draws them.
#pragma once

#include "platform/gdi/gdi.h"

class CWnd;

constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int COLOR_BTNFACE = 15;

constexpr UINT IMAGE_ICON = 1;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;

int GetSystemMetrics(int index);
// A colour of the desktop's scheme; black while no window system runs.
COLORREF GetSysColor(int index);
// An icon resource; the size is the drawer's to choose. Icons are shared, as with LR_SHARED,
// so DestroyIcon has nothing to free.
HICON LoadImage(UINT id, UINT type, int width, int height, UINT flags);
BOOL DestroyIcon(HICON icon);

// Draws on a window during its WM_PAINT.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* window);
};
