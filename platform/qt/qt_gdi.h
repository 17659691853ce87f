// Device contexts over QPainter: on a widget being painted, on a bitmap selected into a memory
// context, or on an image a window keeps of itself. Regions become QRegions, fonts QFonts, icon
// resources QIcons.
#pragma once

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <memory>
#include <optional>

#include "platform/gdi/device_context.h"
#include "platform/user/resources.h"

namespace platform::qt {

// Pixels of the device: a bitmap of width x height logical pixels holds `ratio` times as many
// on each side, so that what is drawn on it is as sharp as on the screen it is copied to.
class QtBitmap final : public BitmapSurface {
 public:
  QtBitmap(int width, int height, qreal ratio);
  QImage& Image() { return m_image; }

 private:
  QImage m_image;
};

class QtDeviceContext final : public DeviceContext {
 public:
  // On a widget being painted, where `clip` is the part to paint. The painter begins with the
  // first drawing, so a paint that draws nothing leaves the widget to paint itself.
  QtDeviceContext(QWidget* widget, const QRect& clip);
  // On an image; null until a bitmap is selected (a memory context).
  QtDeviceContext(QImage* image, const QFont& font);

  bool HasDrawn() const { return m_painter.has_value(); }

  std::unique_ptr<DeviceContext> CreateCompatible() override;
  std::unique_ptr<BitmapSurface> CreateCompatibleBitmap(int width, int height) override;
  void SelectBitmap(BitmapSurface* bitmap) override;
  void SetWindowOrg(POINT origin) override;
  CRect ClipBox() const override;
  void FillRect(const RECT& rect, COLORREF color) override;
  void FillRegion(const Region& region, COLORREF color) override;
  void FrameRegion(const Region& region, COLORREF color, int width, int height) override;
  SIZE TextExtent(const std::string& text, const FontDescription& font) override;
  SIZE TextExtentIn(const std::string& text, const RECT& rect, UINT format, const FontDescription& font) override;
  void DrawText(const std::string& text, const RECT& rect, UINT format, const FontDescription& font, COLORREF color,
                bool transparent) override;
  void DrawStateText(const std::string& text, POINT at, const FontDescription& font, COLORREF color, bool prefix,
                     bool embossed) override;
  void DrawIcon(HICON icon, POINT at, SIZE size, bool embossed) override;
  void DrawButtonFrame(const RECT& rect, bool pushed) override;
  void DrawFocusRect(const RECT& rect) override;
  void BitBlt(POINT to, SIZE size, DeviceContext& source, POINT from) override;

 private:
  QPainter* Painter();
  void FillDeviceRegion(const QRegion& region, COLORREF color);
  QFont FontOf(const FontDescription& description) const;

  QWidget* m_widget = nullptr;
  QImage* m_image = nullptr;
  qreal m_ratio = 1;  // device pixels per logical pixel
  QRect m_clip;
  QFont m_font;  // the context's own, for a FontDescription without a face
  QPoint m_origin;
  std::optional<QPainter> m_painter;
};

QColor ToQColor(COLORREF color);
COLORREF ToColorRef(const QColor& color);
// `ratio`: the region on a device with that many pixels per logical pixel, its curves drawn at
// the device's own resolution.
QRegion ToQRegion(const Region& region, qreal ratio = 1);
// A GDI font as the installed fonts stand in for it: "Arial" by a Latin sans font, Hangul by
// the Korean font, the height in logical units (positive: the cell, negative: the character).
QFont ToQFont(const FontDescription& description, const QFont& fallback);
QIcon ToQIcon(HICON icon);

}  // namespace platform::qt
