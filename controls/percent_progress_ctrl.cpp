#include "controls/percent_progress_ctrl.h"

#include "platform/gdi/gdi.h"

CPercentProgressCtrl::CPercentProgressCtrl()
    : m_crStartColor(RGB(255, 0, 0)),
      m_crEndColor(RGB(0, 0, 255)),
      m_crBkColor(GetSysColor(COLOR_BTNFACE)),
      m_crTextColor(RGB(255, 255, 255)),
      m_bShowPercent(FALSE) {}

LRESULT CPercentProgressCtrl::SetRange(int lower, int upper) {
  m_nUpper = upper;
  m_nLower = lower;
  m_nPos = lower;
  const auto range = (static_cast<DWORD>(upper & 0xFFFF) << 16) | static_cast<DWORD>(lower & 0xFFFF);
  return SendMessage(PBM_SETRANGE, 0, static_cast<LPARAM>(range));
}

LRESULT CPercentProgressCtrl::SetPos(int position) {
  m_nPos = position;
  return SendMessage(PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
