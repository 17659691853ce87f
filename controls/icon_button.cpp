#include "controls/icon_button.h"

#include <algorithm>

CIconButton::~CIconButton() { ReleaseIcon(); }

void CIconButton::ReleaseIcon() {
  if (m_hIcon) DestroyIcon(m_hIcon);
  m_hIcon = nullptr;
}

BOOL CIconButton::SetIcon(WORD id, int width, int height) {
  ReleaseIcon();
  m_hIcon = LoadImage(id, IMAGE_ICON, width, height, LR_DEFAULTCOLOR);
  if (!m_hIcon) return FALSE;
  m_nImageWidth = width;
  m_nImageHeight = height;
  if (GetSafeHwnd()) Invalidate(TRUE);
  return TRUE;
}

int CIconButton::SetImageMargin(int margin) {
  const int previous = m_nImageMargin;
  m_nImageMargin = margin;
  if (GetSafeHwnd()) Invalidate(TRUE);
  return previous;
}

int CIconButton::SetImageTextGap(int gap) {
  const int previous = m_nImageTextGap;
  m_nImageTextGap = gap;
  if (GetSafeHwnd()) Invalidate(TRUE);
  return previous;
}

CPoint CIconButton::CenterIfUnset(CPoint point, int width, int height) const {
  CRect client;
  GetClientRect(&client);
  if (point.x == -1) point.x = (client.Width() - width) >> 1;
  if (point.y == -1) point.y = (client.Height() - height) >> 1;
  return point;
}

void CIconButton::DrawItem(LPDRAWITEMSTRUCT drawItem) {
  CDC* dc = CDC::FromHandle(drawItem->hDC);
  const UINT state = drawItem->itemState;
  const bool pushed = (state & ODS_SELECTED) != 0;
  const int offset = pushed ? 1 : 0;
  const UINT imageFlags = (state & ODS_DISABLED) ? DSS_DISABLED : 0;
  const bool focusOnly = drawItem->itemAction == ODA_FOCUS;
  CRect item(drawItem->rcItem.left, drawItem->rcItem.top, drawItem->rcItem.right, drawItem->rcItem.bottom);

  if (!focusOnly) {
    dc->DrawFrameControl(&item, DFC_BUTTON, (pushed ? DFCS_PUSHED : 0) | DFCS_BUTTONPUSH);
    CString text;
    GetWindowText(text);
    if (m_hIcon) {
      CPoint at = text.IsEmpty() ? CPoint(-1, -1) : CPoint(m_nImageMargin + item.left, -1);
      at = CenterIfUnset(at, m_nImageWidth, m_nImageHeight);
      at.x += offset;
      at.y += offset;
      dc->DrawState(at, CSize(m_nImageWidth, m_nImageHeight), m_hIcon, DST_ICON | imageFlags);
    }
    if (!text.IsEmpty()) {
      const CSize extent = dc->GetTextExtent(text);
      CPoint at(-1, -1);
      if (m_hIcon) {
        // Centred in what is left beside the icon; the gap may be negative.
        CRect client;
        GetClientRect(&client);
        const int available =
            std::max<int>(0, client.right - client.left - m_nImageTextGap - m_nImageWidth - m_nImageMargin - extent.cx);
        at.x = available / 2 + m_nImageTextGap + m_nImageWidth + m_nImageMargin;
      }
      const bool centredY = at.y == -1;
      at = CenterIfUnset(at, extent.cx, extent.cy);
      at.x += offset;
      at.y += offset;
      // A centred text sits one pixel higher.
      if (centredY) at.y -= 1;
      dc->DrawState(at, extent, text, DST_PREFIXTEXT | imageFlags, TRUE);
    }
  }

  // The focus rectangle is drawn by inverting: drawn again when the focus goes, it is gone.
  const bool focusChanged = ((state ^ m_nLastItemState) & ODS_FOCUS) != 0;
  if (!(state & ODS_DISABLED) && (focusChanged || (!focusOnly && (state & ODS_FOCUS)))) {
    const int smaller = std::min(item.Width(), item.Height());
    const int inset = (smaller & ~3) > 12 ? 3 : smaller >> 2;
    const CRect focus(item.left + inset, item.top + inset, item.right - inset, item.bottom - inset);
    dc->DrawFocusRect(&focus);
  }
  m_nLastItemState = state;
}
