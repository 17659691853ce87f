// The connection to the handset (the open port and its receive thread), the stop of a run,
// and the operator controls a run locks.
#include "link/link_messages.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/com_port.h"
#include "platform/kernel/thread.h"
#include "platform/user/message_box.h"
#include "resources/resource.h"
#include "serial/serial_port.h"
#include "ui/downloader_dlg.h"

bool CDownloaderDlg::EnsureConnected() {
  if (g_bPortOpen) return true;
  StopRun();
  return ConnectHandset();
}

bool CDownloaderDlg::ConnectHandset() {
  m_serialPort.SetPortNumber(static_cast<BYTE>(m_nPortNumber));
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  m_serialPort.Release();
  m_serialPort.Attach(this, &m_logQueue);
  if (!m_serialPort.Open()) {
    AppendLogLine(COLOR_RUN, "USB 연결 상태를 확인하세요.");
    ExplainOpenFailure();
    m_serialPort.Release();
    return false;
  }
  g_bKeepRunning = TRUE;
  if (!m_pThreadRX) {
    m_pThreadRX = StartReceiveThread(this, &m_serialPort, &m_logQueue);
    if (m_pThreadRX) return true;
  }
  // An earlier receive thread has not been stopped, or no new one could be made.
  View().ShowBox("Can't start Downloader\n");
  m_serialPort.Release();
  return false;
}

void CDownloaderDlg::ExplainOpenFailure() {
  const CString why = platform::DescribeCommOpenFailure(platform::ComPortName(m_nPortNumber).c_str());
  if (!why.IsEmpty()) AppendLogLine(COLOR_ERROR, why);
}

void CDownloaderDlg::StopRun() {
  KillTimer(m_run.timerId);
  View().EnableControls(true);
  View().ShowElapsed("");
  View().ShowAddress("");
  m_run.step = STEP_START;
  m_run.response = nullptr;
  if (g_bKeepRunning) StopReceiveThread(m_serialPort, m_pThreadRX);
  View().ShowIdleBar();
}

void CDownloaderDlg::ResetRun() {
  m_run.plan.blockIndex = 0;
  m_run.retryCount = 0;
  m_run.naksInARow = 0;
  m_run.rawData = false;
  m_run.account.Clear();
  m_run.reported = false;
  m_logQueue.Reset();
  View().ClearLog();
  m_run.startTime = GetTickCount();
}

LRESULT CDownloaderDlg::OnRxThreadEnded(WPARAM, LPARAM) {
  // A reconnection ends the thread itself and carries on.
  if (m_run.reconnecting) return TRUE;
  // So does every other stop of the dialog's own: the thread it stopped is forgotten by then,
  // and its end must not stop what the dialog went on to do (a NORMAL download's mode change).
  if (!m_pThreadRX) return TRUE;
  // The final reset asks the handset to restart, and one that does so at once leaves the bus
  // without answering it: that is the end of the download, not a lost handset.
  if (m_run.step == STEP_DONE && !m_run.reported) ReportWithoutResetAnswer();
  NotifyRunEnded(RunEnd::HandsetLost);
  StopRun();
  g_bThreadLost = FALSE;
  View().ShowIdleTitle();
  return TRUE;
}

void CDownloaderDlg::OnClose() {
  NotifyRunEnded(RunEnd::Closed);
  StopRun();
  CDialog::OnOK();
}
