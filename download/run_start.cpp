// The start of a run from the Download button: at once for a handset that waits in its
// download mode (EMERGENCY), or after telling a handset that runs its normal software to
// restart in download mode (NORMAL).
#include "download/download_run.h"
#include "platform/kernel/clock.h"

void CDownloadRun::OnDownload(const RunChoices& choices) {
  m_choices = choices;
  m_strModemRefusal.Empty();
  NotifyRunStarted();
  if (!ValidateFontAddress()) {
    NotifyRunEnded(RunEnd::Refused);
    return;
  }
  const DownloadType* type = m_choices.downloadType;
  // A stored value that is no type shows no item: the operator has a type to choose first.
  if (!type) {
    ShowBox("Download Type을 선택하세요!");
    NotifyRunEnded(RunEnd::NoDownloadType);
    return;
  }
  (this->*type->start)();
}

void CDownloadRun::StartEmergencyDownload() {
  if (!EnsureConnected()) {
    View().EnableControls(true);
    NotifyRunEnded(RunEnd::PortNotOpened);
    return;
  }
  if (!PrepareRun()) return;
  AdvanceRun();
  ArmTimer(TIMER_ANSWER, kAnswerTimeoutMs);
}

bool CDownloadRun::PrepareRun() {
  View().EnableControls(false);
  ResetRun();
  LogModemRefusal();
  View().ShowElapsed("");
  m_run.retryCount = 0;
  m_run.currentImage = IMAGE_CODE;
  const bool planned = m_choices.codeSelected ? ClassifyImage() : SelectNextImage();
  // A refused image leaves the connection as it is, ready for the next try.
  if (!planned) {
    View().EnableControls(true);
    NotifyRunEnded(RunEnd::Refused);
  }
  return planned;
}

void CDownloadRun::StartNormalDownload() {
  m_logQueue.Reset();
  View().ClearLog();
  View().EnableControls(false);

  m_serialPort.SetPortNumber(static_cast<BYTE>(m_choices.portNumber));
  m_serialPort.Release();
  Sleep(100);
  if (!OpenPort()) {
    View().EnableControls(true);
    NotifyRunEnded(RunEnd::PortNotOpened);
    return;
  }
  // Nothing is read back: the normal software does not answer, it restarts.
  Sleep(500);
  m_serialPort.SendDownloadAtCommand();
  NotifyLineEvent(RunEvent::Kind::ModeChange);
  Sleep(500);
  StopRun();
  View().EnableControls(false);

  View().ShowModeChange();
  ArmTimer(TIMER_MODE_CHANGE, m_choices.modeChangeMs);
}

void CDownloadRun::EndModeChange() {
  if (m_run.timerId != TIMER_MODE_CHANGE) return;
  KillTimer(TIMER_MODE_CHANGE);
  OnModeChangeOver();
}

void CDownloadRun::OnModeChangeOver() {
  View().HideModeChange();
  StopRun();
  Sleep(500);
  if (!ConnectHandset()) {
    View().EnableControls(true);
    NotifyRunEnded(RunEnd::PortNotOpened);
    return;
  }
  if (!PrepareRun()) return;
  // The step stays at its start: the first answer writes the banner and says hello again.
  m_serialPort.SendHello();
  m_run.account.SentHello();
  NotifyRequest("hello");
  ArmTimer(TIMER_ANSWER, kAnswerTimeoutMs);
}
