#include "ui/batch_dialog.h"

#include <cstdlib>

#include "link/commands.h"
#include "link/link_messages.h"
#include "platform/kernel/com_port.h"
#include "platform/user/device_change.h"
#include "platform/user/messages.h"
#include "resources/resource.h"
#include "ui/aux_dialogs.h"

namespace {

// Apart from the run's own timers (0, 2 and 5).
constexpr UINT TIMER_STALL = 0x5741;
constexpr UINT TIMER_ERASE = 0x5742;

int ExitCodeOf(RunEnd end) {
  switch (end) {
    case RunEnd::Completed: return EXIT_COMPLETED;
    case RunEnd::CompletedUnconfirmed: return EXIT_UNCONFIRMED;
    case RunEnd::NoAnswer: return EXIT_NO_ANSWER;
    case RunEnd::ReconnectFailed:
    case RunEnd::ReconnectDeclined: return EXIT_RECONNECT_FAILED;
    case RunEnd::PortNotOpened: return EXIT_PORT_NOT_OPENED;
    case RunEnd::Refused:
    case RunEnd::NoDownloadType: return EXIT_REFUSED;
    case RunEnd::HandsetLost: return EXIT_HANDSET_LOST;
    case RunEnd::ImageUnreadable: return EXIT_IMAGE_UNREADABLE;
    case RunEnd::Closed: return EXIT_FAILED;
  }
  return EXIT_FAILED;
}

}  // namespace

BEGIN_MESSAGE_MAP(CBatchDownloaderDlg, CDownloaderDlg)
ON_WM_TIMER()
END_MESSAGE_MAP()

CBatchDownloaderDlg::CBatchDownloaderDlg(int stallSeconds, int eraseSeconds, std::FILE* out, std::FILE* err)
    : m_nStallMs(static_cast<UINT>(stallSeconds) * 1000),
      m_nEraseMs(static_cast<UINT>(eraseSeconds) * 1000),
      m_out(out),
      m_err(err),
      m_nExitCode(EXIT_FAILED) {
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

BOOL CBatchDownloaderDlg::OnInitDialog() {
  const BOOL result = CDownloaderDlg::OnInitDialog();
  // Without them a NORMAL run cannot follow its handset, and a handset plugged in gets no port.
  const std::string failure = platform::DeviceNotificationsFailure();
  if (!failure.empty()) EndBeforeRun(failure.c_str());
  return result;
}

LRESULT CBatchDownloaderDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_RESPONSE_READY) NoteAnswer();
  if (message == WM_DEVICECHANGE && !TakesPortChange(wParam, lParam)) return TRUE;
  // The click the command line asked for, once the station has ended before it.
  if (message == WM_COMMAND && LOWORD(wParam) == IDC_DOWNLOAD && m_bEnded) return TRUE;
  const LRESULT result = CDownloaderDlg::WindowProc(message, wParam, lParam);
  // An answer, or a time-out's resend or reconnection, may have sent the erase or moved past it.
  if (message == WM_RESPONSE_READY || message == WM_TIMER) FollowErase();
  return result;
}

void CBatchDownloaderDlg::FollowErase() {
  // The erase is out and its answer awaited: a large area on a slow flash part takes minutes,
  // in which the handset confirms nothing by design.
  const bool erasing = !m_bEnded && m_run.step == STEP_FIRST_BLOCK;
  if (erasing == m_bErasing) return;
  m_bErasing = erasing;
  if (erasing) {
    KillTimer(TIMER_STALL);
    SetTimer(TIMER_ERASE, m_nEraseMs, nullptr);
  } else {
    KillTimer(TIMER_ERASE);
    if (!m_bEnded) ArmStallTimer();
  }
}

bool CBatchDownloaderDlg::TakesPortChange(WPARAM event, LPARAM record) {
  if (!m_modeChangeDlg.GetSafeHwnd()) return false;
  const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT*>(record);
  if (event != DBT_DEVICEARRIVAL || !port || port->dbcp_devicetype != DBT_DEVTYP_PORT) return true;
  const unsigned number = platform::ComPortNumber(port->dbcp_name);
  const bool takes = m_follower.Takes(static_cast<int>(number));
  const std::string name = platform::ComPortName(number);
  std::fprintf(m_err, takes ? "[following the handset to %s]\n" : "[%s arrived: not taken]\n", name.c_str());
  return takes;
}

void CBatchDownloaderDlg::EndBeforeRun(const CString& why) {
  m_bEnded = true;
  EndLine();
  m_nExitCode = EXIT_PORT_NOT_OPENED;
  std::fprintf(m_err, "flashgate: %s: %s\n", RunEndText(RunEnd::PortNotOpened), why.GetString());
  PostMessage(WM_CLOSE);
}

void CBatchDownloaderDlg::OnTimer(UINT_PTR id) {
  if (id == TIMER_MODE_CHANGE && !m_follower.Ambiguity().IsEmpty()) {
    // The handset is back, but which port is it? Writing to another station's handset is worse
    // than writing to none.
    KillTimer(id);
    m_modeChangeDlg.DestroyWindow();
    EnableControls(true);
    m_strEndReason = m_follower.Ambiguity();
    NotifyRunEnded(RunEnd::PortNotOpened);
    return;
  }
  if (id == TIMER_ERASE) {
    KillTimer(id);
    if (m_bEnded) return;
    m_strEndReason.Format("the handset did not finish the erase in %u s", m_nEraseMs / 1000);
    NotifyRunEnded(RunEnd::NoAnswer);
    return;
  }
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

void CBatchDownloaderDlg::OnRunStarted(const RunStart& start) {
  // Where the handset is plugged in is asked now, while it is still there.
  if (start.downloadType && start.downloadType->handsetRestarts) m_follower.Begin(start.portNumber);
  ArmStallTimer();
}

void CBatchDownloaderDlg::OnLogText(const CString& text, COLORREF, bool newLine) {
  if (newLine) EndLine();
  std::fputs(text, m_out);
  std::fflush(m_out);
  m_bLineOpen = true;
}

void CBatchDownloaderDlg::NoteAnswer() {
  m_bAnsweredSinceReconnection = true;
  // Only what moves the run on keeps it alive: a handset that refuses everything, or the
  // program's own lines, are no progress.
  BYTE code = 0;
  if (!m_bEnded && m_serialPort.PeekResponse(&code) && code == ACK) ArmStallTimer();
}

void CBatchDownloaderDlg::OnRunEnded(RunEnd end, int, const RunAccount& account) {
  if (m_bEnded) return;
  m_bEnded = true;
  KillTimer(TIMER_STALL);
  KillTimer(TIMER_ERASE);
  EndLine();
  m_nExitCode = ExitCodeOf(end);
  if (end != RunEnd::Completed) {
    CString reason = RunEndText(end);
    const CString why = WhyItEnded(end, account);
    if (!why.IsEmpty()) reason += ": " + why;
    std::fprintf(m_err, "flashgate: %s\n", reason.GetString());
  }
  // Closing stops the run as the window's close button does; the program then exits.
  PostMessage(WM_CLOSE);
}

CString CBatchDownloaderDlg::WhyItEnded(RunEnd end, const RunAccount& account) const {
  if (end == RunEnd::CompletedUnconfirmed) return account.Summary();
  if (!m_strEndReason.IsEmpty()) return m_strEndReason;
  if (end == RunEnd::Refused && !m_strRefusal.IsEmpty()) return m_strRefusal;
  return m_strLastBox;
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
