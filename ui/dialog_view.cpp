// The main dialog as the run's view: the log control, the two bars, the address and elapsed
// fields, the title, the controls a run locks, the mode-change notice and the boxes.
#include "platform/user/message_box.h"
#include "resources/resource.h"
#include "ui/aux_dialogs.h"
#include "ui/downloader_dlg.h"

void CDownloaderDlg::ShowLogLine(COLORREF color, const CString& text) {
  // To the end first: text the operator has selected for copying keeps its colour.
  m_log.SetSel(-1, -1);
  m_logFormat.crTextColor = color;
  m_log.SetSelectionCharFormat(m_logFormat);
  m_log.SetSel(-1, -1);
  m_log.ReplaceSel("\n");
  m_log.SetSel(-1, -1);
  m_log.ReplaceSel(text);
}

void CDownloaderDlg::ShowLogText(COLORREF color, const CString& text) {
  m_log.SetSel(-1, -1);
  m_logFormat.crTextColor = color;
  m_log.SetSelectionCharFormat(m_logFormat);
  m_log.ReplaceSel(text);
}

void CDownloaderDlg::ClearLog() {
  m_log.SetSel(0, -1);
  m_log.Clear();
  m_log.SetSel(0, 0);
}

void CDownloaderDlg::ShowRunBar() {
  m_idleBar.ShowWindow(SW_HIDE);
  m_runBar.ShowWindow(SW_SHOW);
  m_runBar.SetRange(0, 100);
  m_runBar.SetPos(0);
  m_runBar.m_crStartColor = RGB(0, 0, 128);
  m_runBar.m_crEndColor = RGB(128, 0, 0);
  m_runBar.m_crBkColor = RGB(192, 192, 192);
  m_runBar.m_crTextColor = RGB(255, 255, 255);
  m_runBar.m_bShowPercent = TRUE;
  m_strAddress.Empty();
  UpdateData(FALSE);
}

void CDownloaderDlg::ShowIdleBar() {
  m_runBar.ShowWindow(SW_HIDE);
  m_idleBar.ShowWindow(SW_SHOW);
  UpdateData(FALSE);
}

void CDownloaderDlg::ShowPercent(int percent) {
  m_runBar.SetPos(percent);
  CString title;
  title.Format("%d%% Completed. - Flashgate", percent);
  SetWindowText(title);
}

void CDownloaderDlg::ShowAddress(const CString& text) {
  m_strAddress = text;
  UpdateData(FALSE);
}

void CDownloaderDlg::ShowElapsed(const CString& text) {
  m_strElapsed = text;
  UpdateData(FALSE);
}

void CDownloaderDlg::ShowIdleTitle() { SetWindowText(kWindowTitle); }

void CDownloaderDlg::EnableControls(bool enable) {
  GetDlgItem(IDC_CODE)->EnableWindow(enable);
  GetDlgItem(IDC_FONT)->EnableWindow(enable);
  if (m_bCodeSelected) GetDlgItem(IDC_CHANGE_BOOT_AREA)->EnableWindow(enable);
  // Download needs an image to send.
  GetDlgItem(IDC_DOWNLOAD)->EnableWindow(enable && (m_bCodeSelected || m_bFontSelected));
  if (m_bFontSelected) GetDlgItem(IDC_FONT_ADDRESS)->EnableWindow(enable);
  GetDlgItem(IDC_DOWNLOAD_TYPE)->EnableWindow(enable);
  GetDlgItem(IDC_PORT)->EnableWindow(enable);
}

void CDownloaderDlg::ShowModeChange() {
  m_modeChangeDlg.Create(IDD_MODE_CHANGE, this);
  m_modeChangeDlg.ShowWindow(SW_SHOW);
}

void CDownloaderDlg::HideModeChange() {
  if (m_modeChangeDlg.GetSafeHwnd()) m_modeChangeDlg.DestroyWindow();
}

void CDownloaderDlg::ShowBox(const CString& text) { MessageBox(text, nullptr, MB_OK); }

void CDownloaderDlg::ShowAlert(const CString& text) { AfxMessageBox(text, MB_OK); }

void CDownloaderDlg::ShowNotice(const CString& text) { AfxMessageBox(text, MB_ICONINFORMATION); }

bool CDownloaderDlg::AskReconnect() {
  CRetryDlg retry;
  return retry.DoModal() == IDOK;
}
