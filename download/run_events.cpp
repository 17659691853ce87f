// Telling those who follow the runs what happens: a run starts with the Download button, writes
// its log, and ends in one of the ways RunEnd names.
#include <algorithm>

#include "ui/downloader_dlg.h"

const char* RunEndText(RunEnd end) {
  switch (end) {
    case RunEnd::Completed: return "download completed";
    case RunEnd::CompletedUnconfirmed: return "download completed, not all of it confirmed by the handset";
    case RunEnd::NoAnswer: return "no answer from the handset";
    case RunEnd::ReconnectFailed: return "the reconnection failed";
    case RunEnd::ReconnectDeclined: return "the reconnection was declined";
    case RunEnd::PortNotOpened: return "the port could not be opened";
    case RunEnd::Refused: return "the image or the font address was refused";
    case RunEnd::NoDownloadType: return "no download type was chosen";
    case RunEnd::HandsetLost: return "the handset left during the run";
    case RunEnd::ImageUnreadable: return "the image could not be read during the run";
    case RunEnd::Closed: return "the window was closed during the run";
  }
  return "";
}

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
