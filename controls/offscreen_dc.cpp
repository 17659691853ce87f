#include "controls/offscreen_dc.h"

COffscreenDC::COffscreenDC(CDC* target) : m_pTarget(target) {
  target->GetClipBox(&m_rect);
  CreateCompatibleDC(target);
  m_bitmap.CreateCompatibleBitmap(target, m_rect.Width(), m_rect.Height());
  m_pOldBitmap = SelectObject(&m_bitmap);
  // Drawing uses the target's coordinates.
  SetWindowOrg(m_rect.left, m_rect.top);
}

COffscreenDC::~COffscreenDC() {
  m_pTarget->BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), this, m_rect.left, m_rect.top, SRCCOPY);
  SelectObject(m_pOldBitmap);
  m_bitmap.DeleteObject();
  DeleteDC();
}
