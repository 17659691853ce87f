#include "controls/percent_progress_ctrl.h"

#include <algorithm>
#include <cstdlib>

#include "controls/offscreen_dc.h"

namespace {

int Red(COLORREF color) { return static_cast<int>(color & 0xFF); }
int Green(COLORREF color) { return static_cast<int>((color >> 8) & 0xFF); }
int Blue(COLORREF color) { return static_cast<int>((color >> 16) & 0xFF); }

}  // namespace

BEGIN_MESSAGE_MAP(CPercentProgressCtrl, CProgressCtrl)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

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

BOOL CPercentProgressCtrl::OnEraseBkgnd(CDC*) {
  // The paint covers everything; erasing first would only flicker.
  return TRUE;
}

void CPercentProgressCtrl::OnPaint() {
  CPaintDC dc(this);
  CRect client;
  GetClientRect(&client);
  if (m_nLower < m_nPos && m_nPos < m_nUpper) {
    // The lower bound is not subtracted: the fill is the position's share of the upper bound.
    const int filled = static_cast<int>(static_cast<double>(m_nPos) / m_nUpper * client.right);
    PaintGradient(&dc, client, filled);
    if (m_bShowPercent) {
      CString text;
      text.Format("%.0f%%", m_nPos * 100.0f / m_nUpper);
      dc.SetTextColor(m_crTextColor);
      dc.SetBkMode(TRANSPARENT);
      dc.DrawText(text, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
  } else {
    // Empty, and finished too: the button face as it is now, without text.
    CBrush face(GetSysColor(COLOR_BTNFACE));
    dc.FillRect(&client, &face);
  }
}

void CPercentProgressCtrl::PaintGradient(CDC* target, const CRect& client, int filledWidth) {
  COffscreenDC dc(target);
  const int deltaRed = Red(m_crEndColor) - Red(m_crStartColor);
  const int deltaGreen = Green(m_crEndColor) - Green(m_crStartColor);
  const int deltaBlue = Blue(m_crEndColor) - Blue(m_crStartColor);
  // Equal colours give no band at all; one band of the start colour stands for them.
  const int bands = std::max({std::abs(deltaRed), std::abs(deltaGreen), std::abs(deltaBlue), 1});

  const float bandWidth = static_cast<float>(client.right) / static_cast<float>(bands);
  const float stepRed = static_cast<float>(deltaRed) / static_cast<float>(bands);
  const float stepGreen = static_cast<float>(deltaGreen) / static_cast<float>(bands);
  const float stepBlue = static_cast<float>(deltaBlue) / static_cast<float>(bands);
  const float startRed = static_cast<float>(Red(m_crStartColor));
  const float startGreen = static_cast<float>(Green(m_crStartColor));
  const float startBlue = static_cast<float>(Blue(m_crStartColor));

  for (int i = 0; i < bands; ++i) {
    const CRect band(static_cast<int>(i * static_cast<double>(bandWidth)), 0,
                     static_cast<int>((i + 1) * static_cast<double>(bandWidth)), client.bottom + 1);
    const COLORREF color = RGB(static_cast<BYTE>(static_cast<int>(startRed + i * static_cast<double>(stepRed))),
                               static_cast<BYTE>(static_cast<int>(startGreen + i * static_cast<double>(stepGreen))),
                               static_cast<BYTE>(static_cast<int>(startBlue + i * static_cast<double>(stepBlue))));
    CBrush brush(color);
    dc.FillRect(&band, &brush);
    brush.DeleteObject();
    // The colour ends at the edge of the first band past the filled width.
    if (band.right > filledWidth) {
      const CRect rest(band.right, 0, client.right, client.bottom);
      CBrush background(m_crBkColor);
      dc.FillRect(&rest, &background);
      break;
    }
  }
}
