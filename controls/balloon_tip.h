// A hint in a speech balloon: an ellipse with a short tail on its left, shown at the pointer
// while it rests on a control the balloon knows, hidden when the pointer leaves the control or
// the operator clicks or types. The owner passes its messages to RelayEvent.
#pragma once

#include <map>

#include "platform/gdi/gdi.h"
#include "platform/user/messages.h"
#include "platform/user/wnd.h"

class CBalloonTip : public CWnd {
 public:
  CBalloonTip();
  ~CBalloonTip() override = default;

  // A hidden popup of the balloon's shape, owned by `parent`; FALSE when it cannot be made.
  BOOL Create(CWnd* parent);
  // Registers `control` with its text and text colour (0: the balloon's text colour); a
  // control registered already keeps its first registration.
  void AddTool(CWnd* control, const CString& text, COLORREF color = 0);
  void RelayEvent(const MSG* msg);
  // Where the text goes, in client coordinates: the rectangle inscribed in the ellipse.
  const CRect& GetTextRect() const { return m_rectText; }
  // The font of the text shown last, made to fit the text rectangle.
  const CFont& GetTextFont() const { return m_font; }

  // Set by the owner before Create; the size and colours are read again at each showing.
  int m_nWidth = 100;
  int m_nHeight = 60;
  COLORREF m_crFill = RGB(249, 254, 188);
  COLORREF m_crFrame = RGB(0, 0, 255);
  COLORREF m_crText = RGB(0, 0, 0);
  int m_nFontHeight = 14;
  CString m_strFontFace = "Arial";

 protected:
  int OnCreate(CREATESTRUCT* create);
  void OnPaint();

  DECLARE_MESSAGE_MAP()

 private:
  struct Tool {
    HWND window;
    CString text;
    COLORREF color;
  };

  // The body and the tail together, as the window's shape and as what is painted.
  bool MakeShape(CRgn& shape, const CRect& client);
  void Show(const Tool& tool, POINT at);
  void FitFont(CDC& dc);

  LPCSTR m_strClass;
  HWND m_hCurrentTool = nullptr;
  CRgn m_rgnEllipse;
  CRgn m_rgnShape;
  CRgn m_rgnTail;
  CRect m_rectText;
  CFont m_font;
  CString m_strText;
  CString m_strFittedText;  // the text m_font was made to fit
  bool m_bShown = false;
  std::map<CWnd*, Tool> m_tools;
};
