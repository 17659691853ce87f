#include "controls/balloon_tip.h"

#include "platform/user/message_box.h"

namespace {

// A little above 1/sqrt(2): the half-diagonal factor of the rectangle inscribed in the ellipse.
constexpr double kInscribed = 0.7071085623775818;
// The body starts this far right of the window's left edge, where the tail points.
constexpr int kTailLength = 10;
// The lowest font height a hint is made to fit with; lower still, it could not be read anyway.
constexpr int kSmallestFontHeight = 8;

}  // namespace

BEGIN_MESSAGE_MAP(CBalloonTip, CWnd)
ON_WM_CREATE()
ON_WM_PAINT()
END_MESSAGE_MAP()

CBalloonTip::CBalloonTip() : m_strClass(AfxRegisterWndClass(0, nullptr, nullptr, nullptr)) {}

BOOL CBalloonTip::Create(CWnd* parent) {
  return CreateEx(0, m_strClass, nullptr, WS_POPUP, 0, 0, m_nWidth, m_nHeight, parent ? parent->GetSafeHwnd() : nullptr,
                  nullptr);
}

bool CBalloonTip::MakeShape(CRgn& shape, const CRect& client) {
  shape.CreateRectRgn(client.left + kTailLength, client.top, client.right, client.bottom);
  return shape.CombineRgn(&m_rgnTail, &m_rgnEllipse, RGN_OR) != ERROR;
}

int CBalloonTip::OnCreate(CREATESTRUCT* create) {
  if (CWnd::OnCreate(create) == -1) return -1;
  CRect client;
  GetClientRect(&client);
  const int width = client.right - (client.left + kTailLength);
  const int height = client.bottom - client.top;
  const int dx = static_cast<int>(width * 0.5 * kInscribed);
  const int dy = static_cast<int>(height * 0.5 * kInscribed);
  m_rectText = CRect(width / 2 - dx + kTailLength, height / 2 - dy, width / 2 + dx + kTailLength, height / 2 + dy);

  m_rgnEllipse.CreateEllipticRgn(client.left + kTailLength, client.top, client.right, client.bottom);
  const POINT tail[] = {{client.left, client.bottom / 2 - 10},
                        {client.left + 15, client.bottom / 2 - 5},
                        {client.left + 15, client.bottom / 2 + 5}};
  m_rgnTail.CreatePolygonRgn(tail, 3, ALTERNATE);
  if (!MakeShape(m_rgnShape, client)) {
    MessageBox("ERROR in Combining Region", nullptr, MB_OK);
    return -1;
  }
  // The window system owns the shape from here on.
  SetWindowRgn(m_rgnShape.Detach(), TRUE);
  m_font.CreateFont(m_nFontHeight, 0, 0, 0, 0, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, m_strFontFace);
  return 0;
}

// The whole hint is shown: from the height asked for, the font is made a pixel lower at a time
// until the text, broken between words, fits the rectangle inscribed in the ellipse. The faces
// that stand in for the one the balloon was laid out with are wider, and a hint the ellipse
// cuts short says nothing.
void CBalloonTip::FitFont(CDC& dc) {
  for (int height = m_nFontHeight;; --height) {
    m_font.CreateFont(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, m_strFontFace);
    CFont* previous = dc.SelectObject(&m_font);
    CRect needed = m_rectText;
    dc.DrawText(m_strText, &needed, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
    dc.SelectObject(previous);
    const bool fits = needed.Width() <= m_rectText.Width() && needed.Height() <= m_rectText.Height();
    if (fits || height <= kSmallestFontHeight) break;
  }
  m_strFittedText = m_strText;
}

void CBalloonTip::OnPaint() {
  CPaintDC dc(this);
  if (m_strFittedText != m_strText) FitFont(dc);
  CRect client;
  GetClientRect(&client);
  CRgn shape;
  if (!MakeShape(shape, client)) {
    MessageBox("ERROR in Combining Region", nullptr, MB_OK);
    return;
  }
  CBrush fill(m_crFill);
  CBrush frame(m_crFrame);
  dc.FillRgn(&shape, &fill);
  dc.FrameRgn(&shape, &frame, 2, 1);
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(m_crText);
  CFont* previous = dc.SelectObject(&m_font);
  // A text that fits goes on one centred line; a longer one is broken between words.
  CRect text = m_rectText;
  const UINT format = dc.GetTextExtent(m_strText).cx < m_rectText.Width() ? DT_CENTER | DT_VCENTER | DT_SINGLELINE
                                                                          : DT_CENTER | DT_WORDBREAK;
  dc.DrawText(m_strText, &text, format);
  dc.SelectObject(previous);
}

void CBalloonTip::AddTool(CWnd* control, const CString& text, COLORREF color) {
  if (m_tools.count(control)) return;
  m_tools.emplace(control, Tool{control ? control->GetSafeHwnd() : nullptr, text, color ? color : m_crText});
}

void CBalloonTip::Show(const Tool& tool, POINT at) {
  m_bShown = true;
  m_crText = tool.color;
  m_strText = tool.text;
  SetWindowPos(nullptr, at.x, at.y, m_nWidth, m_nHeight, SWP_NOACTIVATE);
  ShowWindow(SW_SHOWNOACTIVATE);
  m_hCurrentTool = tool.window;
}

void CBalloonTip::RelayEvent(const MSG* msg) {
  switch (msg->message) {
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      // Hidden, but still shown for this tool: it comes back only after the pointer has left.
      if (IsWindowVisible()) ShowWindow(SW_HIDE);
      return;
    case WM_MOUSEMOVE: break;
    default: return;
  }
  // Nothing while another application has the keyboard.
  if (!CWnd::GetFocus() || m_tools.empty()) return;
  if (!m_bShown) {
    for (const auto& [control, tool] : m_tools) {
      if (tool.window == msg->hwnd) {
        Show(tool, msg->pt);
        return;
      }
    }
    return;
  }
  const CWnd* under = CWnd::WindowFromPoint(msg->pt);
  if (!under || under->GetSafeHwnd() != m_hCurrentTool) {
    m_bShown = false;
    ShowWindow(SW_HIDE);
  }
}
