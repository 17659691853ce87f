// Telling those who follow the runs what happens: a run starts with the Download button, writes
// its log, and ends in one of the ways RunEnd names.
#include <algorithm>

#include "download/download_run.h"

void CDownloadRun::AddRunObserver(RunObserver* observer) { m_runObservers.push_back(observer); }

void CDownloadRun::RemoveRunObserver(RunObserver* observer) {
  m_runObservers.erase(std::remove(m_runObservers.begin(), m_runObservers.end(), observer), m_runObservers.end());
}

void CDownloadRun::RefuseStart(const RunChoices& choices) {
  m_choices = choices;
  NotifyRunStarted();
  NotifyRunEnded(RunEnd::Refused);
}

void CDownloadRun::NotifyRunStarted() {
  RunStart start;
  start.portNumber = m_choices.portNumber;
  start.downloadType = m_choices.downloadType;
  start.bootArea = m_choices.bootArea != 0;
  // A run sends one image: the code image when it is chosen, else the font image.
  if (m_choices.codeSelected) {
    start.codePath = m_choices.codePath;
  } else if (m_choices.fontSelected) {
    start.fontPath = m_choices.fontPath;
    start.fontAddress = m_choices.fontAddress;
  }
  m_run.underWay = true;
  for (RunObserver* observer : m_runObservers) observer->OnRunStarted(start);
}

void CDownloadRun::NotifyLogText(const CString& text, COLORREF color, bool newLine) {
  for (RunObserver* observer : m_runObservers) observer->OnLogText(text, color, newLine);
}

void CDownloadRun::ShowBox(const CString& text) {
  NotifyMessageBox(text);
  View().ShowBox(text);
}

void CDownloadRun::ShowAlert(const CString& text) {
  NotifyMessageBox(text);
  View().ShowAlert(text);
}

void CDownloadRun::ShowNotice(const CString& text) {
  NotifyMessageBox(text);
  View().ShowNotice(text);
}

void CDownloadRun::NotifyEvent(const RunEvent& event) {
  for (RunObserver* observer : m_runObservers) observer->OnRunEvent(event);
}

void CDownloadRun::NotifyRequest(const char* request) {
  RunEvent event;
  event.request = request;
  // The hello after a restart into download mode comes before the first area is planned.
  event.area = std::max(0, static_cast<int>(m_run.account.Areas().size()) - 1);
  NotifyEvent(event);
}

void CDownloadRun::NotifyResend(BYTE nakCode) {
  RunEvent event;
  event.kind = RunEvent::Kind::Resend;
  event.nakCode = nakCode;
  NotifyEvent(event);
}

void CDownloadRun::NotifyLineEvent(RunEvent::Kind kind) {
  RunEvent event;
  event.kind = kind;
  NotifyEvent(event);
}

void CDownloadRun::NotifySettledBlocks() {
  const std::vector<RunAccount::Area>& areas = m_run.account.Areas();
  if (areas.empty()) return;
  const RunAccount::Area& area = areas.back();
  // Blocks go one at a time, so they are settled in order.
  for (; m_settledBlocksTold < area.blocks.size(); ++m_settledBlocksTold) {
    const RunAccount::Block& block = area.blocks[m_settledBlocksTold];
    if (block.fate != RunAccount::Fate::Confirmed && block.fate != RunAccount::Fate::Unconfirmed) return;
    RunEvent event;
    event.kind = RunEvent::Kind::Block;
    event.area = static_cast<int>(areas.size()) - 1;
    event.block = static_cast<int>(m_settledBlocksTold);
    event.address = area.shownBase + static_cast<DWORD>(m_settledBlocksTold) * kImageBlockDataSize;
    event.confirmed = block.fate == RunAccount::Fate::Confirmed;
    event.roundTripUs = block.roundTripUs;
    NotifyEvent(event);
  }
}

void CDownloadRun::FollowPort(int portNumber) {
  const bool followed = m_run.underWay && portNumber != m_choices.portNumber;
  m_choices.portNumber = portNumber;
  if (!followed) return;
  RunEvent event;
  event.kind = RunEvent::Kind::PortFollowed;
  event.portNumber = portNumber;
  NotifyEvent(event);
}

void CDownloadRun::NotifyMessageBox(const CString& text) {
  for (RunObserver* observer : m_runObservers) observer->OnMessageBox(text);
}

void CDownloadRun::NotifyRunEnded(RunEnd end) {
  if (!m_run.underWay) return;
  // A run that got no answer has ended; only a late answer brings it back (OnResponseReady),
  // and what stops it meanwhile is no news.
  if (m_run.stalled) {
    m_run.underWay = false;
    m_run.stalled = false;
    return;
  }
  m_run.stalled = end == RunEnd::NoAnswer;
  m_run.underWay = m_run.stalled;
  for (RunObserver* observer : m_runObservers) observer->OnRunEnded(end, m_choices.portNumber, m_run.account);
}
