// The progress bar of the main dialog: a colour gradient laid out across the whole width in
// narrow bands, shown up to the position, the rest in a background colour, and the
// percentage written over the middle of the bar. The owner writes the colours and the
// percentage flag directly; a change shows at the next paint.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/user/controls.h"

class CPercentProgressCtrl : public CProgressCtrl {
 public:
  CPercentProgressCtrl();
  ~CPercentProgressCtrl() override = default;

  // Both are called only once the control is attached to its window.
  LRESULT SetRange(int lower, int upper);
  LRESULT SetPos(int position);

  int GetLower() const { return m_nLower; }
  int GetUpper() const { return m_nUpper; }
  int GetPosition() const { return m_nPos; }

  COLORREF m_crStartColor;
  COLORREF m_crEndColor;
  COLORREF m_crBkColor;
  COLORREF m_crTextColor;
  BOOL m_bShowPercent;

 protected:
  void OnPaint();
  BOOL OnEraseBkgnd(CDC* dc);
  void PaintGradient(CDC* target, const CRect& client, int filledWidth);

  DECLARE_MESSAGE_MAP()

 private:
  int m_nLower = 0;
  int m_nUpper = 100;
  int m_nPos = 0;
};
