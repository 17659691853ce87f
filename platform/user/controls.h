// The common controls, each a CWnd that speaks to its real control in messages.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/user/window_messages.h"
#include "platform/user/wnd.h"

constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODA_SELECT = 0x0002;
constexpr UINT ODA_FOCUS = 0x0004;
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_DISABLED = 0x0004;
constexpr UINT ODS_FOCUS = 0x0010;

// What an owner-drawn control asks its parent to draw, in WM_DRAWITEM.
struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;

class CButton : public CWnd {
 public:
  // An owner-drawn button draws itself here, asked through its parent's WM_DRAWITEM.
  virtual void DrawItem(LPDRAWITEMSTRUCT drawItem);

 protected:
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CEdit : public CWnd {
 public:
  void SetSel(int start, int end, BOOL noScroll = FALSE);
};

// A progress bar; the program's own bar sends it PBM_SETRANGE and PBM_SETPOS itself.
class CProgressCtrl : public CWnd {};

class CRichEditCtrl : public CWnd {
 public:
  // Character positions; (-1, -1) puts the caret at the end with nothing selected, (0, -1)
  // selects everything.
  void SetSel(long start, long end);
  void ReplaceSel(LPCSTR text, BOOL canUndo = FALSE);
  BOOL SetSelectionCharFormat(CHARFORMAT& format);
  void Clear();
  // The selection's character positions; equal when nothing is selected.
  void GetSel(long& start, long& end) const;
  // The selection to the clipboard.
  void Copy();
};
