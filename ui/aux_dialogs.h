// The small dialogs: about box, mode-change notice, boot-area confirmation and retry question.
#pragma once

#include "platform/user/controls.h"
#include "platform/user/dialog.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
};

// Shown modeless, without caption or button, while a handset restarts into download mode;
// the main dialog creates and destroys it.
class CModeChangeDlg : public CDialog {
 public:
  explicit CModeChangeDlg(CWnd* parent = nullptr);

  CString m_strText;  // bound to the hidden edit; stays empty

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
};

// The operator types "yes" before the boot area may be written: only then is Yes enabled.
class CBootAreaConfirmDlg : public CDialog {
 public:
  CBootAreaConfirmDlg();

  CEdit m_editConfirm;
  CString m_strConfirm;

  BOOL OnInitDialog() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void OnConfirmTextChange();

  DECLARE_MESSAGE_MAP()
};

// Asks whether to reconnect to the handset: IDOK to try again.
class CRetryDlg : public CDialog {
 public:
  CRetryDlg();
};
