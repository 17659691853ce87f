// Window messages, control notifications and the constants that go with them.
#pragma once

#include "platform/kernel/types.h"

constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_ICONERASEBKGND = 0x0027;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_QUERYDRAGICON = 0x0037;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT WM_COPY = 0x0301;
constexpr UINT WM_CLEAR = 0x0303;

// Command ids of the standard buttons, and the answers of message boxes.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Control notifications, in the high word of WM_COMMAND's wParam.
constexpr WORD BN_CLICKED = 0;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD EN_CHANGE = 0x0300;

constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_CLICK = 0x00F5;
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;

constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_SCROLLCARET = 0x00B7;
constexpr UINT EM_REPLACESEL = 0x00C2;
constexpr UINT EM_EXGETSEL = WM_USER + 52;
constexpr UINT EM_EXSETSEL = WM_USER + 55;
constexpr UINT EM_SETCHARFORMAT = WM_USER + 68;

constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr LRESULT CB_ERR = -1;

constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;

constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

constexpr WPARAM HTCAPTION = 2;
constexpr WPARAM MK_LBUTTON = 0x0001;

constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_ESCAPE = 0x1B;

constexpr UINT SC_CLOSE = 0xF060;

constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;

// Window and control styles the templates use.
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_DISABLED = 0x08000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_BORDER = 0x00800000u;
constexpr DWORD WS_VSCROLL = 0x00200000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000u;
constexpr DWORD WS_TABSTOP = 0x00010000u;
constexpr DWORD DS_ABSALIGN = 0x01;
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_CENTER = 0x0800;
constexpr DWORD WS_EX_STATICEDGE = 0x00020000u;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000u;

constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_AUTOVSCROLL = 0x0040;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_NOHIDESEL = 0x0100;
constexpr DWORD ES_READONLY = 0x0800;
constexpr DWORD ES_WANTRETURN = 0x1000;

constexpr DWORD BS_MULTILINE = 0x2000;
constexpr DWORD BS_TOP = 0x0400;
constexpr DWORD BS_CENTER = 0x0300;
constexpr DWORD BS_FLAT = 0x8000;

constexpr DWORD SS_CENTER = 0x0001;
constexpr DWORD SS_CENTERIMAGE = 0x0200;
constexpr DWORD SS_SUNKEN = 0x1000;

constexpr DWORD CBS_DROPDOWN = 0x0002;  // a list that drops down under an edit field
constexpr DWORD CBS_SORT = 0x0100;

// The character format of rich text.
constexpr DWORD CFM_BOLD = 0x00000001;
constexpr DWORD CFM_COLOR = 0x40000000;
constexpr DWORD CFE_BOLD = 0x0001;
constexpr WPARAM SCF_SELECTION = 0x0001;

struct CHARFORMAT {
  UINT cbSize;
  DWORD dwMask;
  DWORD dwEffects;
  LONG yHeight;  // twips
  COLORREF crTextColor;
};

struct CHARRANGE {
  LONG cpMin;
  LONG cpMax;
};

// The window being made: its owner, place and styles.
struct CREATESTRUCT {
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  DWORD dwExStyle;
};
