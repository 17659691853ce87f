#include "ui/aux_dialogs.h"

#include "platform/user/message_box.h"
#include "resources/resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CModeChangeDlg::CModeChangeDlg(CWnd* parent) : CDialog(IDD_MODE_CHANGE, parent) {}

void CModeChangeDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_MODE_CHANGE_TEXT, m_strText);
}

BEGIN_MESSAGE_MAP(CBootAreaConfirmDlg, CDialog)
ON_EN_CHANGE(IDC_CONFIRM_TEXT, OnConfirmTextChange)
END_MESSAGE_MAP()

CBootAreaConfirmDlg::CBootAreaConfirmDlg() : CDialog(IDD_BOOT_AREA_CONFIRM) {}

void CBootAreaConfirmDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CONFIRM_TEXT, m_editConfirm);
  DDX_Text(pDX, IDC_CONFIRM_TEXT, m_strConfirm);
}

BOOL CBootAreaConfirmDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_editConfirm.SetSel(-1, -1);
  m_editConfirm.SendMessage(EM_SCROLLCARET, 0, 0);
  return TRUE;
}

void CBootAreaConfirmDlg::OnConfirmTextChange() {
  UpdateData(TRUE);
  GetDlgItem(IDOK)->EnableWindow(m_strConfirm.CompareNoCase("yes") == 0);
}

CRetryDlg::CRetryDlg() : CDialog(IDD_RETRY) {}
