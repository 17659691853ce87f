#include "platform/qt/qt_gdi.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPixmap>
#include <QPolygon>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <QtMath>

#include "platform/gdi/gdi.h"

namespace platform::qt {
namespace {

QRect ToQRect(const RECT& rect) { return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top); }

QString ToQString(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

// The shape of an image in one colour: what an embossed (disabled) picture is drawn with.
QImage Tinted(const QImage& image, const QColor& color) {
  QImage tinted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&tinted);
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(tinted.rect(), color);
  return tinted;
}

int TextFlags(UINT format) {
  int flags = (format & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
  if (format & DT_SINGLELINE) {
    flags |= Qt::TextSingleLine | ((format & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop);
  } else {
    flags |= Qt::AlignTop;
    if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
  }
  return flags;
}

// The light and the shadow of an embossed picture, as the button face's edges.
QColor Highlight() { return QApplication::palette().color(QPalette::Light); }
QColor Shadow() { return QApplication::palette().color(QPalette::Dark); }

}  // namespace

QColor ToQColor(COLORREF color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

COLORREF ToColorRef(const QColor& color) {
  return RGB(static_cast<BYTE>(color.red()), static_cast<BYTE>(color.green()), static_cast<BYTE>(color.blue()));
}

QRegion ToQRegion(const Region& region, qreal ratio) {
  const auto scaled = [ratio](const RECT& box) {
    return QRect(QPoint(qRound(box.left * ratio), qRound(box.top * ratio)),
                 QPoint(qRound(box.right * ratio) - 1, qRound(box.bottom * ratio) - 1));
  };
  QRegion result;
  for (const RegionShape& shape : region.shapes) {
    switch (shape.kind) {
      case RegionShape::Kind::Rect: result += QRegion(scaled(shape.box)); break;
      case RegionShape::Kind::Ellipse: result += QRegion(scaled(shape.box), QRegion::Ellipse); break;
      case RegionShape::Kind::Polygon: {
        QPolygon polygon;
        for (const POINT& point : shape.points) polygon << QPoint(qRound(point.x * ratio), qRound(point.y * ratio));
        result += QRegion(polygon, Qt::OddEvenFill);
        break;
      }
    }
  }
  return result;
}

QFont ToQFont(const FontDescription& description, const QFont& fallback) {
  if (description.face.empty() && description.height == 0) return fallback;
  QFont font(fallback);
  font.setFamilies({QString::fromStdString(description.face), QStringLiteral("Liberation Sans"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("NanumGothic")});
  if (description.weight > 0) font.setWeight(static_cast<QFont::Weight>(description.weight));
  if (description.height < 0) {
    font.setPixelSize(-description.height);
  } else if (description.height > 0) {
    // A cell height: the largest size whose lines are no taller.
    int pixels = description.height;
    for (font.setPixelSize(pixels); pixels > 1 && QFontMetrics(font).height() > description.height;) {
      font.setPixelSize(--pixels);
    }
  }
  return font;
}

QIcon ToQIcon(HICON icon) {
  QIcon result;
  const IconResource* resource = IconFromHandle(icon);
  if (!resource) return result;
  for (const IconImage& image : resource->images) {
    QPixmap pixmap;
    if (pixmap.loadFromData(image.png, static_cast<uint>(image.length), "PNG")) result.addPixmap(pixmap);
  }
  return result;
}

QtBitmap::QtBitmap(int width, int height, qreal ratio)
    : m_image(qCeil(width * ratio), qCeil(height * ratio), QImage::Format_RGB32) {
  m_image.setDevicePixelRatio(ratio);
  m_image.fill(Qt::black);
}

namespace {

QRect LogicalRect(const QImage* image) {
  return image ? QRect(QPoint(0, 0), image->deviceIndependentSize().toSize()) : QRect();
}

}  // namespace

QtDeviceContext::QtDeviceContext(QWidget* widget, const QRect& clip)
    : m_widget(widget), m_ratio(widget->devicePixelRatioF()), m_clip(clip), m_font(widget->font()) {}

QtDeviceContext::QtDeviceContext(QImage* image, const QFont& font)
    : m_image(image), m_ratio(image ? image->devicePixelRatio() : 1), m_clip(LogicalRect(image)), m_font(font) {}

QPainter* QtDeviceContext::Painter() {
  if (!m_painter) {
    if (m_widget) {
      m_painter.emplace(m_widget);
    } else if (m_image) {
      m_painter.emplace(m_image);
    } else {
      return nullptr;
    }
    m_painter->setClipRect(m_clip);
    m_painter->translate(-m_origin);
  }
  return &*m_painter;
}

std::unique_ptr<DeviceContext> QtDeviceContext::CreateCompatible() {
  auto compatible = std::make_unique<QtDeviceContext>(nullptr, m_font);
  compatible->m_ratio = m_ratio;
  return compatible;
}

std::unique_ptr<BitmapSurface> QtDeviceContext::CreateCompatibleBitmap(int width, int height) {
  return std::make_unique<QtBitmap>(std::max(width, 1), std::max(height, 1), m_ratio);
}

void QtDeviceContext::SelectBitmap(BitmapSurface* bitmap) {
  m_painter.reset();
  m_image = bitmap ? &static_cast<QtBitmap*>(bitmap)->Image() : nullptr;
  m_clip = LogicalRect(m_image);
}

void QtDeviceContext::SetWindowOrg(POINT origin) {
  const QPoint next(origin.x, origin.y);
  if (m_painter) m_painter->translate(m_origin - next);
  m_origin = next;
}

CRect QtDeviceContext::ClipBox() const {
  const QRect box = m_clip.translated(m_origin);
  return CRect(box.left(), box.top(), box.right() + 1, box.bottom() + 1);
}

void QtDeviceContext::FillRect(const RECT& rect, COLORREF color) {
  if (QPainter* painter = Painter()) painter->fillRect(ToQRect(rect), ToQColor(color));
}

// Regions are filled in the device's own pixels, so a curve is as smooth on a screen at 2x as
// at 1x: the painter is scaled down to device pixels for the fill, the origin kept.
void QtDeviceContext::FillDeviceRegion(const QRegion& region, COLORREF color) {
  QPainter* painter = Painter();
  if (!painter) return;
  painter->save();
  painter->scale(1 / m_ratio, 1 / m_ratio);
  for (const QRect& rect : region) painter->fillRect(rect, ToQColor(color));
  painter->restore();
}

void QtDeviceContext::FillRegion(const Region& region, COLORREF color) {
  FillDeviceRegion(ToQRegion(region, m_ratio), color);
}

void QtDeviceContext::FrameRegion(const Region& region, COLORREF color, int width, int height) {
  // The frame is what lies inside the region but less than the stroke away from its edge.
  const QRegion inside = ToQRegion(region, m_ratio);
  const int dx = qRound(width * m_ratio);
  const int dy = qRound(height * m_ratio);
  const QRegion kept = inside & inside.translated(dx, 0) & inside.translated(-dx, 0) & inside.translated(0, dy) &
                       inside.translated(0, -dy);
  FillDeviceRegion(inside - kept, color);
}

QFont QtDeviceContext::FontOf(const FontDescription& description) const { return ToQFont(description, m_font); }

SIZE QtDeviceContext::TextExtent(const std::string& text, const FontDescription& font) {
  const QFontMetrics metrics(FontOf(font));
  return SIZE{metrics.horizontalAdvance(ToQString(text)), metrics.height()};
}

SIZE QtDeviceContext::TextExtentIn(const std::string& text, const RECT& rect, UINT format,
                                   const FontDescription& font) {
  const QRect bounds = QFontMetrics(FontOf(font)).boundingRect(ToQRect(rect), TextFlags(format), ToQString(text));
  return SIZE{bounds.width(), bounds.height()};
}

void QtDeviceContext::DrawText(const std::string& text, const RECT& rect, UINT format, const FontDescription& font,
                               COLORREF color, bool transparent) {
  QPainter* painter = Painter();
  if (!painter) return;
  painter->setFont(FontOf(font));
  if (!transparent) painter->fillRect(ToQRect(rect), Qt::white);
  painter->setPen(ToQColor(color));
  painter->drawText(ToQRect(rect), TextFlags(format), ToQString(text));
}

void QtDeviceContext::DrawStateText(const std::string& text, POINT at, const FontDescription& font, COLORREF color,
                                    bool prefix, bool embossed) {
  QPainter* painter = Painter();
  if (!painter) return;
  const QFont qfont = FontOf(font);
  painter->setFont(qfont);
  const QString shown = ToQString(text);
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | (prefix ? Qt::TextShowMnemonic : 0);
  const QRect box(QPoint(at.x, at.y), QFontMetrics(qfont).size(flags, shown));
  if (embossed) {
    painter->setPen(Highlight());
    painter->drawText(box.translated(1, 1), flags, shown);
    painter->setPen(Shadow());
  } else {
    painter->setPen(ToQColor(color));
  }
  painter->drawText(box, flags, shown);
}

void QtDeviceContext::DrawIcon(HICON icon, POINT at, SIZE size, bool embossed) {
  QPainter* painter = Painter();
  if (!painter) return;
  // From the icon's own sizes (16, 32, 48, 256), the one for the pixels it takes on the device:
  // at 2x a 30-pixel icon is drawn from 60 device pixels, not blown up from 30.
  const QSize logical(size.cx, size.cy);
  const QImage image =
      ToQIcon(icon)
          .pixmap(logical, m_ratio)
          .toImage()
          .scaled((QSizeF(logical) * m_ratio).toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QRectF target(at.x, at.y, size.cx, size.cy);
  if (embossed) {
    painter->drawImage(target.translated(1, 1), Tinted(image, Highlight()));
    painter->drawImage(target, Tinted(image, Shadow()));
  } else {
    painter->drawImage(target, image);
  }
}

void QtDeviceContext::DrawButtonFrame(const RECT& rect, bool pushed) {
  QPainter* painter = Painter();
  if (!painter) return;
  QStyleOptionButton option;
  option.rect = ToQRect(rect);
  option.palette = QApplication::palette();
  option.state = QStyle::State_Enabled | (pushed ? QStyle::State_Sunken : QStyle::State_Raised);
  QApplication::style()->drawControl(QStyle::CE_PushButtonBevel, &option, painter, m_widget);
}

void QtDeviceContext::DrawFocusRect(const RECT& rect) {
  QPainter* painter = Painter();
  if (!painter) return;
  painter->save();
  painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  QPen pen(Qt::white);
  pen.setCosmetic(true);
  pen.setDashPattern({1, 1});
  painter->setPen(pen);
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(ToQRect(rect).adjusted(0, 0, -1, -1));
  painter->restore();
}

void QtDeviceContext::BitBlt(POINT to, SIZE size, DeviceContext& source, POINT from) {
  auto& other = static_cast<QtDeviceContext&>(source);
  QPainter* painter = Painter();
  if (!painter || !other.m_image) return;
  other.m_painter.reset();  // what was drawn on the image is there from here on
  // The source in its image's own pixels.
  const QRectF part(QPointF(QPoint(from.x, from.y) - other.m_origin) * other.m_ratio,
                    QSizeF(size.cx, size.cy) * other.m_ratio);
  painter->drawImage(QRectF(to.x, to.y, size.cx, size.cy), *other.m_image, part);
}

}  // namespace platform::qt
