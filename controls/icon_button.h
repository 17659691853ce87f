// A push button that draws itself: the button frame, an icon on its left and its text beside
// the icon, pushed, disabled and focused as the window system asks.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/user/controls.h"

class CIconButton : public CButton {
 public:
  CIconButton() = default;
  ~CIconButton() override;

  // Loads icon resource `id` at the size given; false, and no icon, when it cannot be loaded.
  BOOL SetIcon(WORD id, int width, int height);
  // Each answers the value it replaces.
  int SetImageMargin(int margin);
  int SetImageTextGap(int gap);

  void DrawItem(LPDRAWITEMSTRUCT drawItem) override;

 protected:
  // -1 for a coordinate means centred in the client area, halved by an arithmetic shift.
  CPoint CenterIfUnset(CPoint point, int width, int height) const;

 private:
  void ReleaseIcon();

  int m_nImageMargin = 4;
  int m_nImageTextGap = 8;
  HICON m_hIcon = nullptr;
  int m_nImageWidth = 0;
  int m_nImageHeight = 0;
  UINT m_nLastItemState = 0;
};
