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
