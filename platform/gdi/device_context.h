// What a device context draws with: the window system implements it over a painter on a
// window or on an off-screen image (platform/qt). CDC keeps the state (font, colours, mode,
// the selected bitmap) and asks for the drawing.
#pragma once

#include <memory>
#include <string>

#include "platform/gdi/region.h"
#include "platform/kernel/geometry.h"
#include "platform/kernel/types.h"

using HICON = struct HICON__*;

namespace platform {

struct FontDescription {
  int height = 0;  // logical units: positive the cell, negative the character height
  int weight = 0;
  std::string face;
};

// Pixels of an off-screen image.
class BitmapSurface {
 public:
  virtual ~BitmapSurface() = default;
};

class DeviceContext {
 public:
  virtual ~DeviceContext() = default;

  // A memory context that draws like this one; it draws on the bitmap selected into it.
  virtual std::unique_ptr<DeviceContext> CreateCompatible() = 0;
  virtual std::unique_ptr<BitmapSurface> CreateCompatibleBitmap(int width, int height) = 0;
  virtual void SelectBitmap(BitmapSurface* bitmap) = 0;

  virtual void SetWindowOrg(POINT origin) = 0;
  // What may be drawn on, in logical coordinates.
  virtual CRect ClipBox() const = 0;

  virtual void FillRect(const RECT& rect, COLORREF color) = 0;
  virtual void FillRegion(const Region& region, COLORREF color) = 0;
  // The border of the region, `width` pixels thick on its sides and `height` at top and bottom.
  virtual void FrameRegion(const Region& region, COLORREF color, int width, int height) = 0;
  virtual SIZE TextExtent(const std::string& text, const FontDescription& font) = 0;
  // The size DrawText's text takes in `rect` with `format`: lines broken between words for a
  // multi-line format, as many as the text needs.
  virtual SIZE TextExtentIn(const std::string& text, const RECT& rect, UINT format, const FontDescription& font) = 0;
  virtual void DrawText(const std::string& text, const RECT& rect, UINT format, const FontDescription& font,
                        COLORREF color, bool transparent) = 0;
  // Text at a point; `prefix` underlines the character after an ampersand, `embossed` draws
  // it as a disabled control's.
  virtual void DrawStateText(const std::string& text, POINT at, const FontDescription& font, COLORREF color,
                             bool prefix, bool embossed) = 0;
  virtual void DrawIcon(HICON icon, POINT at, SIZE size, bool embossed) = 0;
  virtual void DrawButtonFrame(const RECT& rect, bool pushed) = 0;
  // A dotted rectangle drawn by inverting: drawn twice, it is gone.
  virtual void DrawFocusRect(const RECT& rect) = 0;
  virtual void BitBlt(POINT to, SIZE size, DeviceContext& source, POINT from) = 0;
};

}  // namespace platform
