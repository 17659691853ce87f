#include "platform/gdi/gdi.h"

#include <map>
#include <utility>

namespace platform {
namespace {

// The objects CDC::FromHandle made for contexts of the window system, per thread as MFC keeps
// its temporary objects.
thread_local std::map<HDC, std::unique_ptr<CDC>> t_temporaryDCs;

class TemporaryDC final : public CDC {
 public:
  explicit TemporaryDC(HDC context) { Attach(context); }
};

}  // namespace

void ForgetDeviceContext(HDC context) { t_temporaryDCs.erase(context); }

}  // namespace platform

BOOL CFont::CreateFont(int height, int, int, int, int weight, BYTE, BYTE, BYTE, BYTE, BYTE, BYTE, BYTE, BYTE,
                       LPCSTR face) {
  m_description = platform::FontDescription{height, weight, face ? face : ""};
  return TRUE;
}

BOOL CRgn::Become(platform::RegionShape shape) {
  m_region = std::make_unique<platform::Region>(platform::Region{{std::move(shape)}});
  return TRUE;
}

BOOL CRgn::CreateRectRgn(int left, int top, int right, int bottom) {
  return Become({platform::RegionShape::Kind::Rect, RECT{left, top, right, bottom}, {}});
}

BOOL CRgn::CreateEllipticRgn(int left, int top, int right, int bottom) {
  return Become({platform::RegionShape::Kind::Ellipse, RECT{left, top, right, bottom}, {}});
}

BOOL CRgn::CreatePolygonRgn(const POINT* points, int count, int fillMode) {
  if (!points || count < 3 || fillMode != ALTERNATE) return FALSE;
  return Become({platform::RegionShape::Kind::Polygon, RECT{}, std::vector<POINT>(points, points + count)});
}

int CRgn::CombineRgn(CRgn* a, CRgn* b, int mode) {
  if (!m_region || !a || !b || !a->m_region || !b->m_region || mode != RGN_OR) return ERROR;
  platform::Region united;
  if (!platform::UniteRegions(*a->m_region, *b->m_region, &united)) return ERROR;
  *m_region = std::move(united);
  if (m_region->shapes.empty()) return NULLREGION;
  return m_region->shapes.size() == 1 && m_region->shapes[0].kind == platform::RegionShape::Kind::Rect ? SIMPLEREGION
                                                                                                       : COMPLEXREGION;
}

HRGN CRgn::Detach() { return m_region.release(); }

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
  if (!dc || !dc->GetSafeHdc()) return FALSE;
  m_surface = dc->GetSafeHdc()->CreateCompatibleBitmap(width, height);
  return m_surface ? TRUE : FALSE;
}

BOOL CBitmap::DeleteObject() {
  const bool was = m_surface != nullptr;
  m_surface.reset();
  return was ? TRUE : FALSE;
}

CDC::~CDC() = default;

CDC* CDC::FromHandle(HDC context) {
  if (!context) return nullptr;
  std::unique_ptr<CDC>& object = platform::t_temporaryDCs[context];
  if (!object) object = std::make_unique<platform::TemporaryDC>(context);
  return object.get();
}

void CDC::Attach(platform::DeviceContext* context) { m_context = context; }

BOOL CDC::CreateCompatibleDC(CDC* dc) {
  platform::DeviceContext* like = dc ? dc->GetSafeHdc() : nullptr;
  if (!like) return FALSE;
  m_owned = like->CreateCompatible();
  m_context = m_owned.get();
  return m_context ? TRUE : FALSE;
}

BOOL CDC::DeleteDC() {
  if (!m_owned) return FALSE;
  m_owned.reset();
  m_context = nullptr;
  return TRUE;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
  if (m_context) m_context->SelectBitmap(bitmap ? bitmap->Surface() : nullptr);
  return std::exchange(m_bitmap, bitmap);
}

CFont* CDC::SelectObject(CFont* font) { return std::exchange(m_font, font); }

CPoint CDC::SetWindowOrg(int x, int y) {
  if (m_context) m_context->SetWindowOrg(POINT{x, y});
  const POINT previous = std::exchange(m_origin, POINT{x, y});
  return CPoint(previous.x, previous.y);
}

int CDC::GetClipBox(LPRECT rect) const {
  *rect = m_context ? m_context->ClipBox() : CRect();
  return m_context ? SIMPLEREGION : ERROR;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* source, int xSource, int ySource, DWORD rop) {
  if (!m_context || !source || !source->m_context || rop != SRCCOPY) return FALSE;
  m_context->BitBlt(POINT{x, y}, SIZE{width, height}, *source->m_context, POINT{xSource, ySource});
  return TRUE;
}

void CDC::FillRect(const RECT* rect, CBrush* brush) {
  if (m_context && rect && brush) m_context->FillRect(*rect, brush->Color());
}

BOOL CDC::FillRgn(CRgn* region, CBrush* brush) {
  if (!m_context || !region || !region->GetSafeHandle() || !brush) return FALSE;
  m_context->FillRegion(*region->GetSafeHandle(), brush->Color());
  return TRUE;
}

BOOL CDC::FrameRgn(CRgn* region, CBrush* brush, int width, int height) {
  if (!m_context || !region || !region->GetSafeHandle() || !brush) return FALSE;
  m_context->FrameRegion(*region->GetSafeHandle(), brush->Color(), width, height);
  return TRUE;
}

CSize CDC::GetTextExtent(const CString& text) const {
  if (!m_context) return CSize();
  const SIZE size = m_context->TextExtent(text.str(), m_font ? m_font->Description() : platform::FontDescription{});
  return CSize(size.cx, size.cy);
}

int CDC::DrawText(const CString& text, LPRECT rect, UINT format) {
  if (!m_context || !rect) return 0;
  const platform::FontDescription font = m_font ? m_font->Description() : platform::FontDescription{};
  // Measures instead of drawing, as Windows does: the rectangle keeps its top-left corner and
  // takes the size of the text.
  if (format & DT_CALCRECT) {
    const SIZE size = m_context->TextExtentIn(text.str(), *rect, format, font);
    rect->right = rect->left + size.cx;
    rect->bottom = rect->top + size.cy;
    return size.cy;
  }
  m_context->DrawText(text.str(), *rect, format, font, m_textColor, m_bkMode == TRANSPARENT);
  return m_context->TextExtent(text.str(), font).cy;
}

COLORREF CDC::SetTextColor(COLORREF color) { return std::exchange(m_textColor, color); }

int CDC::SetBkMode(int mode) { return std::exchange(m_bkMode, mode); }

BOOL CDC::DrawFrameControl(LPRECT rect, UINT type, UINT state) {
  if (!m_context || !rect || type != DFC_BUTTON || !(state & DFCS_BUTTONPUSH)) return FALSE;
  m_context->DrawButtonFrame(*rect, (state & DFCS_PUSHED) != 0);
  return TRUE;
}

BOOL CDC::DrawState(CPoint at, CSize size, HICON icon, UINT flags) {
  if (!m_context || !icon) return FALSE;
  m_context->DrawIcon(icon, at, size, (flags & DSS_DISABLED) != 0);
  return TRUE;
}

BOOL CDC::DrawState(CPoint at, CSize, LPCSTR text, UINT flags, BOOL prefixText) {
  if (!m_context || !text) return FALSE;
  m_context->DrawStateText(text, at, m_font ? m_font->Description() : platform::FontDescription{}, m_textColor,
                           prefixText != FALSE, (flags & DSS_DISABLED) != 0);
  return TRUE;
}

void CDC::DrawFocusRect(const RECT* rect) {
  if (m_context && rect) m_context->DrawFocusRect(*rect);
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  if (!m_context || !icon) return FALSE;
  m_context->DrawIcon(icon, POINT{x, y}, SIZE{platform::kSystemIconSize, platform::kSystemIconSize}, false);
  return TRUE;
}
