// CDialog: a window made from a dialog template, modal or modeless, with data exchange
// between its controls and the members they are bound to.
#pragma once

#include "platform/kernel/text.h"
#include "platform/user/wnd.h"

class CDialog;

class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
};

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr);
  ~CDialog() override;

  virtual INT_PTR DoModal();
  // Creates the dialog modeless, hidden unless its template says visible.
  BOOL Create(UINT templateId, CWnd* parent = nullptr);
  void EndDialog(int result);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  BOOL DestroyWindow() override;

  virtual BOOL OnInitDialog();
  UINT GetTemplateId() const { return m_nIDTemplate; }

 protected:
  // The parent, else the main window: the window a modal dialog belongs to.
  HWND OwnerWindow() const;
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual void OnOK();
  virtual void OnCancel();
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

  DECLARE_MESSAGE_MAP()

 private:
  bool MakeWindow();

  bool m_bModal = false;
  bool m_bEnded = false;
  // Set while data is exchanged: what the controls report of it is not news to the dialog.
  bool m_bLockoutNotify = false;
  int m_nModalResult = -1;
};

// Data exchange between control `id` and a member, in the direction `pDX` says.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Text(CDataExchange* pDX, int id, CString& value);
void DDX_Check(CDataExchange* pDX, int id, int& value);
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);
