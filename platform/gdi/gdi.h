// Drawing in the shape of GDI and MFC's drawing classes, no more than the program's
// controls use: device contexts the window system draws with or on an off-screen bitmap,
// solid brushes, fonts, regions, button frames, embossed states and focus rectangles. The
// context of a window's paint is the window's affair (platform/user/paint.h).
#pragma once

#include <memory>

#include "platform/gdi/device_context.h"
#include "platform/gdi/region.h"
#include "platform/kernel/geometry.h"
#include "platform/kernel/text.h"
#include "platform/kernel/types.h"

using HDC = platform::DeviceContext*;
using HRGN = platform::Region*;

constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_CALCRECT = 0x0400;

// Polygons are filled by the alternate rule, the one the program asks for.
constexpr int ALTERNATE = 1;
constexpr int RGN_OR = 2;
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

constexpr UINT DFC_BUTTON = 4;
constexpr UINT DFCS_BUTTONPUSH = 0x0010;
constexpr UINT DFCS_PUSHED = 0x0200;

constexpr UINT DST_PREFIXTEXT = 0x0002;
constexpr UINT DST_ICON = 0x0003;
constexpr UINT DSS_DISABLED = 0x0020;

namespace platform {

// The system's icon size: DrawIcon draws an icon this many pixels square.
constexpr int kSystemIconSize = 32;

}  // namespace platform

class CSize : public SIZE {
 public:
  CSize() : SIZE{0, 0} {}
  CSize(LONG cx, LONG cy) : SIZE{cx, cy} {}
};

// A solid brush holds nothing the system must free.
class CBrush {
 public:
  explicit CBrush(COLORREF color) : m_color(color) {}
  BOOL DeleteObject() { return TRUE; }
  COLORREF Color() const { return m_color; }

 private:
  COLORREF m_color;
};

class CFont {
 public:
  BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                  BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                  BYTE pitchAndFamily, LPCSTR face);
  const platform::FontDescription& Description() const { return m_description; }

 private:
  platform::FontDescription m_description;
};

class CRgn {
 public:
  CRgn() = default;
  CRgn(const CRgn&) = delete;
  CRgn& operator=(const CRgn&) = delete;

  BOOL CreateRectRgn(int left, int top, int right, int bottom);
  BOOL CreateEllipticRgn(int left, int top, int right, int bottom);
  BOOL CreatePolygonRgn(const POINT* points, int count, int fillMode);
  // Makes this region `a` combined with `b`; answers ERROR when it cannot be formed.
  int CombineRgn(CRgn* a, CRgn* b, int mode);
  // Gives the region away; the caller (the window system) owns it from then on.
  HRGN Detach();
  HRGN GetSafeHandle() const { return m_region.get(); }

 private:
  BOOL Become(platform::RegionShape shape);

  std::unique_ptr<platform::Region> m_region;
};

class CBitmap {
 public:
  BOOL CreateCompatibleBitmap(class CDC* dc, int width, int height);
  BOOL DeleteObject();
  platform::BitmapSurface* Surface() const { return m_surface.get(); }

 private:
  std::unique_ptr<platform::BitmapSurface> m_surface;
};

class CDC {
 public:
  CDC() = default;
  virtual ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC GetSafeHdc() const { return m_context; }
  // The object for a context the window system made, valid while it draws with it.
  static CDC* FromHandle(HDC context);

  BOOL CreateCompatibleDC(CDC* dc);
  BOOL DeleteDC();
  CBitmap* SelectObject(CBitmap* bitmap);
  CFont* SelectObject(CFont* font);
  CPoint SetWindowOrg(int x, int y);
  int GetClipBox(LPRECT rect) const;
  BOOL BitBlt(int x, int y, int width, int height, CDC* source, int xSource, int ySource, DWORD rop);

  void FillRect(const RECT* rect, CBrush* brush);
  BOOL FillRgn(CRgn* region, CBrush* brush);
  BOOL FrameRgn(CRgn* region, CBrush* brush, int width, int height);
  CSize GetTextExtent(const CString& text) const;
  int DrawText(const CString& text, LPRECT rect, UINT format);
  COLORREF SetTextColor(COLORREF color);
  int SetBkMode(int mode);
  BOOL DrawFrameControl(LPRECT rect, UINT type, UINT state);
  BOOL DrawState(CPoint at, CSize size, HICON icon, UINT flags);
  BOOL DrawState(CPoint at, CSize size, LPCSTR text, UINT flags, BOOL prefixText = TRUE);
  void DrawFocusRect(const RECT* rect);
  BOOL DrawIcon(int x, int y, HICON icon);

 protected:
  void Attach(platform::DeviceContext* context);

  platform::DeviceContext* m_context = nullptr;

 private:
  std::unique_ptr<platform::DeviceContext> m_owned;
  CBitmap* m_bitmap = nullptr;
  CFont* m_font = nullptr;
  COLORREF m_textColor = 0;
  int m_bkMode = OPAQUE;
  POINT m_origin = {0, 0};
};

namespace platform {

// The window system is done with a context: the object FromHandle made for it goes.
void ForgetDeviceContext(HDC context);

}  // namespace platform
