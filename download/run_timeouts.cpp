// Silence from the handset: the run's timers, their retries, the give-ups and the
// reconnection.
#include "download/download_run.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/thread.h"

namespace {

// Two retries; the third time-out in a row gives up.
constexpr BYTE kGiveUpCount = 3;

}  // namespace

void CDownloadRun::OnTimer(UINT id) {
  // The run's timers are one-shot.
  KillTimer(id);
  if (id == TIMER_MODE_CHANGE) {
    OnModeChangeOver();
    return;
  }
  // A handler that armed this timer after a modal box may have had the final report come
  // under the box: then the run is over and nothing is awaited any more.
  if (m_run.reported) return;
  m_run.account.NoAnswer();
  NotifyLineEvent(RunEvent::Kind::Silence);
  ++m_run.retryCount;
  if (m_run.retryCount < kGiveUpCount) {
    RetryAfterSilence();
  } else {
    GiveUp(id);
  }
}

void CDownloadRun::RetryAfterSilence() {
  switch (m_run.step) {
    case STEP_FIRST_BLOCK:
    case STEP_BLOCKS: {
      // The index has moved past the block last sent: this is that block's address.
      const DWORD address = ShownBase() + static_cast<DWORD>(m_run.plan.blockIndex - 1) * kImageBlockDataSize;
      CString text;
      text.Format("No response, retry at 0x%x", static_cast<unsigned>(address));
      AppendLogLine(COLOR_RUN, text);
      // The handset takes the rest of the blocks as bare data once it has fallen silent.
      m_run.rawData = true;
      if (AdvanceRun()) ArmTimer(m_run.timerId, m_run.timerInterval);
      break;
    }
    case STEP_DONE: ReportWithoutResetAnswer(); break;
    default:
      m_serialPort.ResendLastPacket();
      m_run.account.Resent();
      NotifyResend(0);
      ArmTimer(m_run.timerId, m_run.timerInterval);
      break;
  }
}

void CDownloadRun::ReportWithoutResetAnswer() {
  AppendLogLine(COLOR_RUN, "reset cmd에 대한 응답은 받지 못했지만 다운로드 종료");
  AdvanceRun();
}

void CDownloadRun::GiveUp(UINT id) {
  if (id == TIMER_ANSWER) {
    // The run stays where it is: a late answer still carries it on.
    m_run.retryCount = 0;
    AppendLogLine(COLOR_ERROR, "응답이 없습니다.");
    View().ShowIdleBar();
    NotifyRunEnded(RunEnd::NoAnswer);
  } else if (id == TIMER_RETRY) {
    Reconnect();
  }
}

void CDownloadRun::Reconnect() {
  // The end of the old receive thread is expected while this runs, and is no stop of the run.
  m_run.reconnecting = true;
  KillTimer(m_run.timerId);
  if (g_bKeepRunning) StopReceiveThread(m_serialPort, m_pThreadRX);
  Sleep(1000);

  if (View().AskReconnect()) {
    if (ConnectHandset()) {
      AppendLogLine(COLOR_ERROR, "다시 시작!!!!!");
      m_run.account.Reconnected();
      NotifyLineEvent(RunEvent::Kind::Reconnection);
      m_run.rawData = true;
      if (AdvanceRun()) ArmTimer(TIMER_RETRY, kRetryTimeoutMs);
    } else {
      AppendLogLine(COLOR_ERROR, "재연결 실패!!!!!");
      View().EnableControls(true);
      NotifyRunEnded(RunEnd::ReconnectFailed);
    }
  } else {
    // The port closed with the old receive thread.
    m_modems.ReleaseAll();
    View().EnableControls(true);
    NotifyRunEnded(RunEnd::ReconnectDeclined);
  }
  m_run.reconnecting = false;
}
