// An off-screen surface for one paint: everything drawn on it between construction and
// destruction goes to a bitmap the size of the target's clip box, and reaches the target in
// one copy at the end, so the picture never shows half drawn.
#pragma once

#include "platform/gdi/gdi.h"

class COffscreenDC : public CDC {
 public:
  explicit COffscreenDC(CDC* target);
  ~COffscreenDC() override;

 private:
  CBitmap m_bitmap;
  CBitmap* m_pOldBitmap = nullptr;
  CDC* m_pTarget;
  CRect m_rect;
};
