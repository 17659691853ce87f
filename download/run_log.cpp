// The run's log: coloured lines written at once, lines queued by either thread and written
// when their message arrives, and the tick that closes a finished step.
#include "download/download_run.h"
#include "link/log_queue.h"

namespace {

// The tick mark: two blanks and a check mark (U+221A).
constexpr char kTick[] = "  \xE2\x88\x9A";

COLORREF ColorOfKind(int kind) {
  switch (kind) {
    case LOG_ERROR: return COLOR_ERROR;
    case LOG_INFO: return COLOR_INFO;
    default: return COLOR_RUN;
  }
}

}  // namespace

void CDownloadRun::AppendLogLine(COLORREF color, const CString& text) {
  View().ShowLogLine(color, text);
  NotifyLogText(text, color, true);
}

void CDownloadRun::AppendTick() {
  View().ShowLogText(COLOR_TICK, kTick);
  NotifyLogText(kTick, COLOR_TICK, false);
}

void CDownloadRun::LogLine(int kind, const CString& text) { QueueLogLine(&m_logQueue, &m_host, kind, text); }

void CDownloadRun::OnLogQueued() {
  CLogEntry entry;
  // A line that arrives after the run has stopped is dropped.
  if (m_logQueue.Pop(entry) && g_bKeepRunning) AppendLogLine(ColorOfKind(entry.m_nKind), entry.m_strText);
}
