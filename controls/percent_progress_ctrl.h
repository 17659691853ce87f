// The progress bar of the main dialog: a range and a position as the common control keeps
// them, and the colours and percentage flag of its gradient picture, which the owner writes
// directly. Until the bar paints that picture itself, the window's own bar shows the position.
#pragma once

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

  // Written by the owner; a change shows at the next paint.
  COLORREF m_crStartColor;
  COLORREF m_crEndColor;
  COLORREF m_crBkColor;
  COLORREF m_crTextColor;
  BOOL m_bShowPercent;

 private:
  int m_nLower = 0;
  int m_nUpper = 100;
  int m_nPos = 0;
};
