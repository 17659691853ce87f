// Progress of a run: the run bar, the percentage in the title, the flash address and the
// elapsed time.
#include "platform/kernel/clock.h"
#include "ui/downloader_dlg.h"

namespace {

// The percentage last put into the bar and the title; it outlives a run.
int g_nLastShownPercent = 0;

}  // namespace

void CDownloaderDlg::ResetProgress() {
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

void CDownloaderDlg::UpdateProgress() {
  // The block index has already moved past the block just sent.
  const int percent =
      static_cast<int>(static_cast<double>(m_run.plan.blockIndex) / static_cast<double>(m_run.plan.blockCount) * 100.0);
  // Bar and title change only with the whole percentage.
  if (percent != g_nLastShownPercent || percent == 0) {
    m_runBar.SetPos(percent);
    CString title;
    title.Format("%d%% Completed. - Flashgate", percent);
    SetWindowText(title);
    g_nLastShownPercent = percent;
  }
  m_strAddress.Format(
      "Addr = 0x%lx",
      static_cast<unsigned long>(static_cast<DWORD>(m_run.plan.blockIndex) * kImageBlockDataSize + ShownBase()));
  UpdateData(FALSE);
}

CString CDownloaderDlg::ElapsedText() const {
  // Wall time since the run began, on the platform clock: processor time, which the C
  // library's clock() measures here, would stay near zero while the run waits for the handset.
  const DWORD elapsedMs = GetTickCount() - m_run.startTime;
  const DWORD seconds = elapsedMs / 1000;
  CString text;
  text.Format("Elapsed time : %d min %d sec", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
  return text;
}

void CDownloaderDlg::UpdateElapsed() {
  m_strElapsed = ElapsedText();
  UpdateData(FALSE);
}
