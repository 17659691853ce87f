// Telling those who follow the runs what happens: a run starts with the Download button, writes
// its log, and ends in one of the ways RunEnd names.
#include <algorithm>

#include "ui/downloader_dlg.h"

void CDownloaderDlg::AddRunObserver(RunObserver* observer) { m_runObservers.push_back(observer); }

void CDownloaderDlg::RemoveRunObserver(RunObserver* observer) {
  m_runObservers.erase(std::remove(m_runObservers.begin(), m_runObservers.end(), observer), m_runObservers.end());
}

void CDownloaderDlg::NotifyRunStarted() {
  RunStart start;
  start.portNumber = m_nPortNumber;
  start.downloadType = ChosenDownloadType();
  start.bootArea = m_bBootArea != 0;
  // A run sends one image: the code image when it is chosen, else the font image.
  if (m_bCodeSelected) {
    start.codePath = m_strCodePath;
  } else if (m_bFontSelected) {
    start.fontPath = m_strFontPath;
    start.fontAddress = m_strFontAddress;
  }
  m_run.underWay = true;
  for (RunObserver* observer : m_runObservers) observer->OnRunStarted(start);
}

void CDownloaderDlg::NotifyLogText(const CString& text, COLORREF color, bool newLine) {
  for (RunObserver* observer : m_runObservers) observer->OnLogText(text, color, newLine);
}

void CDownloaderDlg::NotifyRunEnded(RunEnd end) {
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
  for (RunObserver* observer : m_runObservers) observer->OnRunEnded(end, m_nPortNumber, m_run.account);
}
