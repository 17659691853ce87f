// The start of a run from the Download button: at once for a handset that waits in its
// download mode (EMERGENCY), or after telling a handset that runs its normal software to
// restart in download mode (NORMAL).
#include "platform/kernel/clock.h"
#include "platform/user/message_box.h"
#include "resources/resource.h"
#include "ui/downloader_dlg.h"

void CDownloaderDlg::OnDownload() {
  NotifyRunStarted();
  if (!ValidateFontAddress()) {
    NotifyRunEnded(RunEnd::Refused);
    return;
  }
  const DownloadType* type = ChosenDownloadType();
  // A stored value that is no type shows no item: the operator has a type to choose first.
  if (!type) {
    MessageBox("Download Type을 선택하세요!", nullptr, MB_OK);
    NotifyRunEnded(RunEnd::NoDownloadType);
    return;
  }
  (this->*type->start)();
}

void CDownloaderDlg::StartEmergencyDownload() {
  if (!EnsureConnected()) {
    EnableControls(true);
    NotifyRunEnded(RunEnd::PortNotOpened);
    return;
  }
  if (!PrepareRun()) return;
  AdvanceRun();
  ArmTimer(TIMER_ANSWER, kAnswerTimeoutMs);
}

bool CDownloaderDlg::PrepareRun() {
  EnableControls(false);
  ResetRun();
  m_strElapsed.Empty();
  UpdateData(FALSE);
  m_run.retryCount = 0;
  m_run.currentImage = IMAGE_CODE;
  const bool planned = m_bCodeSelected ? ClassifyImage() : SelectNextImage();
  // A refused image leaves the connection as it is, ready for the next try.
  if (!planned) {
    EnableControls(true);
    NotifyRunEnded(RunEnd::Refused);
  }
  return planned;
}

void CDownloaderDlg::StartNormalDownload() {
  m_logQueue.Reset();
  ClearLog();
  EnableControls(false);

  m_serialPort.SetPortNumber(static_cast<BYTE>(m_nPortNumber));
  m_serialPort.Release();
  Sleep(100);
  m_serialPort.Attach(this, &m_logQueue);
  if (!m_serialPort.Open()) {
    m_serialPort.Release();
    EnableControls(true);
    AppendLogLine(COLOR_RUN, "USB 연결 상태를 확인하세요.");
    ExplainOpenFailure();
    NotifyRunEnded(RunEnd::PortNotOpened);
    return;
  }
  // Nothing is read back: the normal software does not answer, it restarts.
  Sleep(500);
  m_serialPort.SendDownloadAtCommand();
  Sleep(500);
  StopRun();
  EnableControls(false);

  m_modeChangeDlg.Create(IDD_MODE_CHANGE, this);
  m_modeChangeDlg.ShowWindow(SW_SHOW);
  ArmTimer(TIMER_MODE_CHANGE, kModeChangeMs);
}

void CDownloaderDlg::OnModeChangeOver() {
  if (m_modeChangeDlg.GetSafeHwnd()) m_modeChangeDlg.DestroyWindow();
  StopRun();
  Sleep(500);
  if (!ConnectHandset()) {
    EnableControls(true);
    NotifyRunEnded(RunEnd::PortNotOpened);
    return;
  }
  if (!PrepareRun()) return;
  // The step stays at its start: the first answer writes the banner and says hello again.
  m_serialPort.SendHello();
  m_run.account.SentHello();
  ArmTimer(TIMER_ANSWER, kAnswerTimeoutMs);
}
