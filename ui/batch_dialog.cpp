#include "ui/batch_dialog.h"

#include "link/commands.h"
#include "link/link_messages.h"
#include "platform/user/device_change.h"
#include "platform/user/messages.h"
#include "ui/aux_dialogs.h"

namespace {

// Apart from the run's own timers (0, 2 and 5).
constexpr UINT TIMER_STALL = 0x5741;

int ExitCodeOf(RunEnd end) {
  switch (end) {
    case RunEnd::Completed: return EXIT_COMPLETED;
    case RunEnd::CompletedUnconfirmed: return EXIT_UNCONFIRMED;
    case RunEnd::NoAnswer: return EXIT_NO_ANSWER;
    case RunEnd::ReconnectFailed:
    case RunEnd::ReconnectDeclined: return EXIT_RECONNECT_FAILED;
    case RunEnd::PortNotOpened: return EXIT_PORT_NOT_OPENED;
    case RunEnd::Refused: return EXIT_REFUSED;
    case RunEnd::HandsetLost: return EXIT_HANDSET_LOST;
    case RunEnd::Closed: return EXIT_FAILED;
  }
  return EXIT_FAILED;
}

}  // namespace

BEGIN_MESSAGE_MAP(CBatchDownloaderDlg, CDownloaderDlg)
ON_WM_TIMER()
END_MESSAGE_MAP()

CBatchDownloaderDlg::CBatchDownloaderDlg(int stallSeconds, std::FILE* out, std::FILE* err)
    : m_nStallMs(static_cast<UINT>(stallSeconds) * 1000), m_out(out), m_err(err), m_nExitCode(EXIT_FAILED) {
  AddRunObserver(this);
  m_previousBoxes =
      platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& box) { return AnswerMessageBox(box); });
  m_previousDialogs = platform::SetModalHandler([this](CDialog& dialog) { return AnswerDialog(dialog); });
}

CBatchDownloaderDlg::~CBatchDownloaderDlg() {
  platform::SetModalHandler(m_previousDialogs);
  platform::SetMessageBoxHandler(m_previousBoxes);
  RemoveRunObserver(this);
}

LRESULT CBatchDownloaderDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_RESPONSE_READY) NoteAnswer();
  if (message == WM_DEVICECHANGE && !m_modeChangeDlg.GetSafeHwnd()) return TRUE;
  return CDownloaderDlg::WindowProc(message, wParam, lParam);
}

void CBatchDownloaderDlg::OnTimer(UINT_PTR id) {
  if (id != TIMER_STALL) {
    CDownloaderDlg::OnTimer(id);
    return;
  }
  KillTimer(TIMER_STALL);
  if (m_bEnded) return;
  // The handset is silent by design while it restarts into download mode.
  if (m_modeChangeDlg.GetSafeHwnd()) {
    ArmStallTimer();
    return;
  }
  std::fprintf(m_err, "flashgate: the handset has confirmed nothing for %u s\n", m_nStallMs / 1000);
  NotifyRunEnded(RunEnd::NoAnswer);
}

void CBatchDownloaderDlg::OnRunStarted(const RunStart&) { ArmStallTimer(); }

void CBatchDownloaderDlg::OnLogText(const CString& text, bool newLine) {
  if (newLine) EndLine();
  std::fputs(text, m_out);
  std::fflush(m_out);
  m_bLineOpen = true;
}

void CBatchDownloaderDlg::NoteAnswer() {
  m_bAnsweredSinceReconnection = true;
  // Only what moves the run on keeps it alive: a handset that refuses everything, or the
  // program's own lines, are no progress.
  const BYTE* response = m_serialPort.GetResponse();
  if (!m_bEnded && response && response[0] == ACK) ArmStallTimer();
}

void CBatchDownloaderDlg::OnRunEnded(RunEnd end, int, const RunAccount& account) {
  if (m_bEnded) return;
  m_bEnded = true;
  KillTimer(TIMER_STALL);
  EndLine();
  m_nExitCode = ExitCodeOf(end);
  if (end != RunEnd::Completed) {
    CString reason = RunEndText(end);
    const CString why = end == RunEnd::CompletedUnconfirmed ? account.Summary() : m_strLastBox;
    if (!why.IsEmpty()) reason += ": " + why;
    std::fprintf(m_err, "flashgate: %s\n", reason.GetString());
  }
  // Closing stops the run as the window's close button does; the program then exits.
  PostMessage(WM_CLOSE);
}

int CBatchDownloaderDlg::AnswerMessageBox(const platform::MessageBoxRequest& request) {
  m_strLastBox = request.text;
  m_strLastBox.TrimRight();
  std::fprintf(m_err, "[message box] %s\n", m_strLastBox.GetString());
  // Every box of a run has OK only.
  return IDOK;
}

int CBatchDownloaderDlg::AnswerDialog(CDialog& dialog) {
  if (dynamic_cast<CRetryDlg*>(&dialog)) {
    // As while the question is on the screen, what has arrived meanwhile is handled first: the
    // end of the old receive thread among it, which the reconnection expects.
    platform::PumpPostedMessages();
    // A handset that said nothing at all since the last reconnection is not coming back: one
    // more would send the next block into the silence, and the next, to the end of the image.
    if (m_nReconnections > 0 && !m_bAnsweredSinceReconnection) {
      std::fputs("[not reconnecting: the handset said nothing since the last reconnection]\n", m_err);
      return IDCANCEL;
    }
    ++m_nReconnections;
    m_bAnsweredSinceReconnection = false;
    std::fputs("[reconnecting to the handset]\n", m_err);
    return IDOK;
  }
  // Everything else, this dialog included, runs as it would on a screen.
  return platform::TheUiSystem()->RunModalLoop(dialog.GetSafeHwnd());
}

void CBatchDownloaderDlg::ArmStallTimer() { SetTimer(TIMER_STALL, m_nStallMs, nullptr); }

void CBatchDownloaderDlg::EndLine() {
  if (!m_bLineOpen) return;
  std::fputc('\n', m_out);
  std::fflush(m_out);
  m_bLineOpen = false;
}
