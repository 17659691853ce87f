// The connection to the handset (the open port and its receive thread), the stop of a run,
// and the operator controls a run locks.
#include "download/download_run.h"
#include "link/link_messages.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/com_port.h"
#include "platform/kernel/comm.h"
#include "platform/kernel/thread.h"
#include "serial/serial_port.h"

CDownloadRun::CDownloadRun(CWnd& host, RunView& view) : m_host(host), m_view(view) { g_bKeepRunning = FALSE; }

bool CDownloadRun::EnsureConnected() {
  if (g_bPortOpen) return true;
  StopRun();
  return ConnectHandset();
}

bool CDownloadRun::ConnectHandset() {
  m_serialPort.SetPortNumber(static_cast<BYTE>(m_choices.portNumber));
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  m_serialPort.Release();
  if (!OpenPort()) return false;
  g_bKeepRunning = TRUE;
  if (!m_pThreadRX) {
    m_pThreadRX = StartReceiveThread(&m_host, &m_serialPort, &m_logQueue);
    if (m_pThreadRX) return true;
  }
  // An earlier receive thread has not been stopped, or no new one could be made.
  ShowBox("Can't start Downloader\n");
  m_serialPort.Release();
  m_modems.ReleaseAll();
  return false;
}

bool CDownloadRun::OpenPort() {
  const std::string name = platform::ComPortName(m_choices.portNumber);
  m_serialPort.Attach(&m_host, &m_logQueue);
  // The modem manager holds a modem's port open while it probes and polls it: it lets go
  // before the port is looked at, and stays off it until the run is over. Its refusal is
  // logged once the run's log is set up (a connection that fails logs it at once); a later
  // open that finds no modem to ask about (the handset back from a restart) keeps it.
  const CString refusal = m_modems.Inhibit(name.c_str());
  if (!refusal.IsEmpty()) m_strModemRefusal = refusal;
  // Two readers of one port lose answers, whichever reads first taking the handset's; and an
  // open does not fail for a holder that took no lock.
  m_strPortProblem = platform::DescribePortHolders(name.c_str());
  if (m_strPortProblem.IsEmpty()) {
    if (m_serialPort.Open()) return true;
    m_strPortProblem = platform::DescribeCommOpenFailure(name.c_str());
  }
  LogModemRefusal();
  AppendLogLine(COLOR_RUN, "USB 연결 상태를 확인하세요.");
  if (!m_strPortProblem.IsEmpty()) AppendLogLine(COLOR_ERROR, m_strPortProblem);
  m_serialPort.Release();
  m_modems.ReleaseAll();
  return false;
}

void CDownloadRun::LogModemRefusal() {
  if (!m_strModemRefusal.IsEmpty()) AppendLogLine(COLOR_ERROR, m_strModemRefusal);
}

void CDownloadRun::StopRun() {
  KillTimer(m_run.timerId);
  View().EnableControls(true);
  View().ShowElapsed("");
  View().ShowAddress("");
  m_run.step = STEP_START;
  m_run.response = nullptr;
  if (g_bKeepRunning) StopReceiveThread(m_serialPort, m_pThreadRX);
  // A run under way closes its port only to follow its handset through a restart.
  if (!m_run.underWay) m_modems.ReleaseAll();
  View().ShowIdleBar();
}

void CDownloadRun::ResetRun() {
  m_run.plan.blockIndex = 0;
  m_run.retryCount = 0;
  m_run.naksInARow = 0;
  m_run.rawData = false;
  m_run.account.Clear();
  m_settledBlocksTold = 0;
  m_run.reported = false;
  m_logQueue.Reset();
  View().ClearLog();
  m_run.startTime = GetTickCount();
}

void CDownloadRun::OnRxThreadEnded() {
  // A reconnection ends the thread itself and carries on.
  if (m_run.reconnecting) return;
  // So does every other stop of the run's own: the thread it stopped is forgotten by then, and
  // its end must not stop what the run went on to do (a NORMAL download's mode change).
  if (!m_pThreadRX) return;
  // The final reset asks the handset to restart, and one that does so at once leaves the bus
  // without answering it: that is the end of the download, not a lost handset.
  if (m_run.step == STEP_DONE && !m_run.reported) ReportWithoutResetAnswer();
  NotifyRunEnded(RunEnd::HandsetLost);
  StopRun();
  g_bThreadLost = FALSE;
  View().ShowIdleTitle();
}

void CDownloadRun::OnClose() {
  NotifyRunEnded(RunEnd::Closed);
  StopRun();
}

void CDownloadRun::SetTimer(UINT id, UINT intervalMs) { m_host.SetTimer(id, intervalMs); }

void CDownloadRun::KillTimer(UINT id) { m_host.KillTimer(id); }
