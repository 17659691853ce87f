#include "ui/batch_station.h"

#include <algorithm>

#include "link/commands.h"
#include "link/link_messages.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/com_port.h"
#include "platform/user/device_change.h"
#include "platform/user/messages.h"
#include "ui/preselection.h"
#include "ui/settings.h"

namespace {

// Apart from the run's own timers (0, 2 and 5).
constexpr UINT TIMER_STALL = 0x5741;
constexpr UINT TIMER_ERASE = 0x5742;
constexpr UINT TIMER_MODE_WAIT = 0x5743;

// Download pressed, once messages are dispatched.
constexpr UINT WM_START_RUN = WM_APP + 1;

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

CBatchStation::CBatchStation(const CommandLine& line, std::FILE* out, std::FILE* err)
    : m_nStallMs(static_cast<UINT>(line.stallSeconds) * 1000),
      m_nEraseMs(static_cast<UINT>(line.eraseSeconds) * 1000),
      m_nModeWaitMs(static_cast<UINT>(line.modeWaitSeconds) * 1000),
      m_out(out),
      m_err(err) {
  m_run.AddRunObserver(this);
}

CBatchStation::~CBatchStation() {
  Close();
  // Whatever a handler did after the close, no receive thread outlives the run it reads for.
  m_run.StopRun();
  m_run.RemoveRunObserver(this);
}

void CBatchStation::Start(const Preselection& pick) {
  CreateHandle();
  CString why;
  const int storedPort = StoredPortNumber(&why);
  if (!why.IsEmpty()) m_run.AppendLogLine(COLOR_ERROR, why);
  m_choices.portNumber = pick.port ? pick.port : storedPort;
  m_choices.downloadType = pick.downloadType ? pick.downloadType : StoredDownloadType();
  // A handset slower than the window's wait has as long as the station waits at least.
  m_choices.modeChangeMs = std::max(m_nModeWaitMs, kModeChangeMs);

  // Without them a NORMAL run cannot follow its handset, and a handset plugged in gets no port.
  const std::string failure = platform::DeviceNotificationsFailure();
  if (!failure.empty()) {
    m_run.AppendLogLine(COLOR_ERROR, failure.c_str());
    EndBeforeRun(failure.c_str());
  }

  if (!pick.codePath.empty() && TakeImage(pick.codePath, &m_choices.codePath)) {
    m_choices.codeSelected = true;
    m_choices.bootArea = pick.bootArea;
  }
  if (!pick.fontPath.empty() && TakeImage(pick.fontPath, &m_choices.fontPath)) {
    m_choices.fontSelected = true;
    m_choices.fontAddress = pick.fontAddress.c_str();
  }
  if (pick.demo) m_run.AppendLogLine(COLOR_INFO, DemoNote(m_choices.portNumber));
  PostMessage(WM_START_RUN);
}

bool CBatchStation::TakeImage(const std::string& given, CString* path) {
  if (TakeImagePath(given, path)) return true;
  // Half of what was asked for is not sent: a refused image refuses the run as a whole.
  AnswerBox(kNotAnImage);
  m_bRefused = true;
  return false;
}

void CBatchStation::RunToTheEnd() {
  platform::RunMessageLoopUntil([this] { return m_bClosed; });
}

void CBatchStation::Close() {
  if (m_bClosed) return;
  m_bClosed = true;
  m_run.OnClose();
}

LRESULT CBatchStation::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_START_RUN:
      // Those who follow the runs learn of a refused one even where the station has already
      // ended; what the run refuses, it refuses with its own boxes.
      if (m_bRefused) {
        m_run.RefuseStart(m_choices);
      } else if (!m_bEnded) {
        m_run.OnDownload(m_choices);
      }
      return 0;
    case WM_RESPONSE_READY:
      NoteAnswer();
      m_run.OnResponseReady();
      // An answer may have sent the erase or moved past it.
      FollowErase();
      return TRUE;
    case WM_LOG_QUEUED: m_run.OnLogQueued(); return TRUE;
    case WM_RX_THREAD_ENDED: m_run.OnRxThreadEnded(); return TRUE;
    case WM_TIMER:
      OnTimer(static_cast<UINT>(wParam));
      // So may a time-out's resend or reconnection.
      FollowErase();
      return 0;
    case WM_DEVICECHANGE: OnPortChange(wParam, lParam); return TRUE;
    case WM_CLOSE: Close(); return 0;
    default: return CWnd::WindowProc(message, wParam, lParam);
  }
}

void CBatchStation::ShowLogLine(COLORREF, const CString& text) {
  EndLine();
  ShowLogText(COLOR_RUN, text);
}

void CBatchStation::ShowLogText(COLORREF, const CString& text) {
  std::fputs(text, m_out);
  std::fflush(m_out);
  m_bLineOpen = true;
}

void CBatchStation::AnswerBox(const CString& text) {
  m_strLastBox = text;
  m_strLastBox.TrimRight();
  // Every box of a run has OK only.
  std::fprintf(m_err, "[message box] %s\n", m_strLastBox.GetString());
}

bool CBatchStation::AskReconnect() {
  // As while the question is on a screen, what has arrived meanwhile is handled first: the end
  // of the old receive thread among it, which the reconnection expects. A station closed
  // meanwhile (its stall guard ended it) reconnects to nothing.
  platform::PumpPostedMessages();
  if (m_bClosed) return false;
  // A handset that said nothing at all since the last reconnection is not coming back: one more
  // would send the next block into the silence, and the next, to the end of the image.
  if (m_nReconnections > 0 && !m_bAnsweredSinceReconnection) {
    std::fputs("[not reconnecting: the handset said nothing since the last reconnection]\n", m_err);
    return false;
  }
  ++m_nReconnections;
  m_bAnsweredSinceReconnection = false;
  std::fputs("[reconnecting to the handset]\n", m_err);
  return true;
}

// A station follows only its own handset: ports that come and go are taken up only while this
// handset restarts into download mode (the NORMAL type), and only the handset's own.
void CBatchStation::OnPortChange(WPARAM event, LPARAM record) {
  const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT*>(record);
  if (!m_bRestarting || event != DBT_DEVICEARRIVAL || !port || port->dbcp_devicetype != DBT_DEVTYP_PORT) return;
  const unsigned number = platform::ComPortNumber(port->dbcp_name);
  const bool takes = m_follower.Takes(static_cast<int>(number));
  const std::string name = platform::ComPortName(number);
  std::fprintf(m_err, takes ? "[following the handset to %s]\n" : "[%s arrived: not taken]\n", name.c_str());
  if (!takes) return;
  m_run.FollowPort(static_cast<int>(number));
  GoOnWhenWaited();
}

void CBatchStation::ShowModeChange() {
  m_bRestarting = true;
  m_dwRestartedAt = GetTickCount();
}

void CBatchStation::HideModeChange() {
  m_bRestarting = false;
  KillTimer(TIMER_MODE_WAIT);
}

void CBatchStation::GoOnWhenWaited() {
  // Without a socket, only the whole wait shows whether a second port arrives, which would make
  // this one a guess.
  if (!m_follower.KnowsSocket()) return;
  const DWORD waited = GetTickCount() - m_dwRestartedAt;
  if (waited >= m_nModeWaitMs) {
    m_run.EndModeChange();
  } else {
    SetTimer(TIMER_MODE_WAIT, m_nModeWaitMs - waited);
  }
}

void CBatchStation::FollowErase() {
  // The erase is out and its answer awaited: a large area on a slow flash part takes minutes,
  // in which the handset confirms nothing by design.
  const bool erasing = !m_bEnded && m_run.State().step == STEP_FIRST_BLOCK;
  if (erasing == m_bErasing) return;
  m_bErasing = erasing;
  if (erasing) {
    KillTimer(TIMER_STALL);
    SetTimer(TIMER_ERASE, m_nEraseMs);
  } else {
    KillTimer(TIMER_ERASE);
    if (!m_bEnded) ArmStallTimer();
  }
}

void CBatchStation::EndBeforeRun(const CString& why) {
  m_bEnded = true;
  EndLine();
  m_nExitCode = EXIT_PORT_NOT_OPENED;
  m_strEndText.Format("%s: %s", RunEndText(RunEnd::PortNotOpened), why.GetString());
  std::fprintf(m_err, "flashgate: %s\n", m_strEndText.GetString());
  PostMessage(WM_CLOSE);
}

void CBatchStation::OnTimer(UINT id) {
  if (id == TIMER_MODE_CHANGE && !m_follower.Ambiguity().IsEmpty()) {
    // The handset is back, but which port is it? Writing to another station's handset is worse
    // than writing to none.
    KillTimer(id);
    m_bRestarting = false;
    m_strEndReason = m_follower.Ambiguity();
    m_run.NotifyRunEnded(RunEnd::PortNotOpened);
    return;
  }
  if (id == TIMER_MODE_WAIT) {
    KillTimer(id);
    // Two arrivals, and it cannot tell which is its own: the run's own wait ends it.
    if (m_bRestarting && m_follower.Ambiguity().IsEmpty()) m_run.EndModeChange();
    return;
  }
  if (id == TIMER_ERASE) {
    KillTimer(id);
    if (m_bEnded) return;
    m_strEndReason.Format("the handset did not finish the erase in %u s", m_nEraseMs / 1000);
    m_run.NotifyRunEnded(RunEnd::NoAnswer);
    return;
  }
  if (id != TIMER_STALL) {
    m_run.OnTimer(id);
    return;
  }
  KillTimer(TIMER_STALL);
  if (m_bEnded) return;
  // The handset is silent by design while it restarts into download mode.
  if (m_bRestarting) {
    ArmStallTimer();
    return;
  }
  std::fprintf(m_err, "flashgate: the handset has confirmed nothing for %u s\n", m_nStallMs / 1000);
  m_run.NotifyRunEnded(RunEnd::NoAnswer);
}

void CBatchStation::OnRunStarted(const RunStart& start) {
  // Where the handset is plugged in is asked now, while it is still there.
  if (start.downloadType && start.downloadType->handsetRestarts) m_follower.Begin(start.portNumber);
  ArmStallTimer();
}

void CBatchStation::NoteAnswer() {
  m_bAnsweredSinceReconnection = true;
  // Only what moves the run on keeps it alive: a handset that refuses everything, or the
  // program's own lines, are no progress.
  BYTE code = 0;
  if (!m_bEnded && m_run.PeekResponse(&code) && code == ACK) ArmStallTimer();
}

void CBatchStation::OnRunEnded(RunEnd end, int, const RunAccount& account) {
  if (m_bEnded) return;
  m_bEnded = true;
  KillTimer(TIMER_STALL);
  KillTimer(TIMER_ERASE);
  EndLine();
  m_nExitCode = ExitCodeOf(end);
  if (end != RunEnd::Completed) {
    m_strEndText = RunEndText(end);
    const CString why = WhyItEnded(end, account);
    if (!why.IsEmpty()) m_strEndText += ": " + why;
    std::fprintf(m_err, "flashgate: %s\n", m_strEndText.GetString());
  }
  // Closing stops the run as the window's close button does; the program then exits.
  PostMessage(WM_CLOSE);
}

CString CBatchStation::WhyItEnded(RunEnd end, const RunAccount& account) const {
  if (end == RunEnd::CompletedUnconfirmed) return account.Summary();
  if (!m_strEndReason.IsEmpty()) return m_strEndReason;
  if (end == RunEnd::Refused && !m_run.Refusal().IsEmpty()) return m_run.Refusal();
  if (end == RunEnd::PortNotOpened && !m_run.PortProblem().IsEmpty()) return m_run.PortProblem();
  return m_strLastBox;
}

void CBatchStation::ArmStallTimer() { SetTimer(TIMER_STALL, m_nStallMs); }

void CBatchStation::EndLine() {
  if (!m_bLineOpen) return;
  std::fputc('\n', m_out);
  std::fflush(m_out);
  m_bLineOpen = false;
}
