// The log's context menu: copy what is selected, select everything, keep the whole log in a
// text file (UTF-8) for a report or a colleague, or open the last run's report in the browser.
#include "platform/kernel/file_system.h"
#include "platform/kernel/system_time.h"
#include "platform/user/file_dialog.h"
#include "platform/user/menu.h"
#include "platform/user/message_box.h"
#include "platform/user/shell.h"
#include "ui/downloader_dlg.h"
#include "ui/run_recorder.h"

namespace {

constexpr UINT kCopy = 1;
constexpr UINT kSelectAll = 2;
constexpr UINT kSaveAs = 3;
constexpr UINT kRunReport = 4;

constexpr char kTextFilter[] = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||";

}  // namespace

void CDownloaderDlg::OnContextMenu(CWnd* window, CPoint point) {
  if (window != &m_log) return;
  long start = 0;
  long end = 0;
  m_log.GetSel(start, end);
  CMenu menu;
  menu.CreatePopupMenu();
  menu.AppendMenu(start == end ? MF_GRAYED : MF_STRING, kCopy, "Copy");
  menu.AppendMenu(MF_STRING, kSelectAll, "Select All");
  menu.AppendMenu(MF_SEPARATOR);
  menu.AppendMenu(MF_STRING, kSaveAs, "Save log as…");
  const bool reported = m_pRecorder && !m_pRecorder->LastReportPath().empty();
  menu.AppendMenu(reported ? MF_STRING : MF_GRAYED, kRunReport, "Run report…");
  switch (menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, point.x, point.y, this)) {
    case kCopy: m_log.Copy(); break;
    case kSelectAll: m_log.SetSel(0, -1); break;
    case kSaveAs: SaveLogAs(); break;
    case kRunReport: OpenRunReport(); break;
    default: break;
  }
}

void CDownloaderDlg::SaveLogAs() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  CString name;
  name.Format("C:\\flashgate-log-%04u%02u%02u-%02u%02u%02u.txt", now.wYear, now.wMonth, now.wDay, now.wHour,
              now.wMinute, now.wSecond);
  CFileDialog dialog(FALSE, "txt", name, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kTextFilter, this);
  if (dialog.DoModal() != IDOK) return;

  // Every line begins with a line break in the control; the file has them at the ends instead.
  CString text;
  m_log.GetWindowText(text);
  const char* lines = text.GetString();
  if (*lines == '\n') ++lines;
  CString contents = lines;
  if (!contents.IsEmpty()) contents += "\n";

  if (!platform::SaveFileWhole(dialog.GetPathName(), contents.GetString(), static_cast<DWORD>(contents.GetLength()))) {
    CString failure;
    failure.Format("The log could not be saved as %s.", dialog.GetPathName().GetString());
    MessageBox(failure, nullptr, MB_OK | MB_ICONERROR);
  }
}

void CDownloaderDlg::OpenRunReport() {
  const std::string path = m_pRecorder->LastReportPath();
  const INT_PTR opened = ShellExecuteA(GetSafeHwnd(), "open", path.c_str(), nullptr, nullptr, SW_SHOW);
  if (opened > 32) return;
  CString failure;
  if (opened == SE_ERR_FNF) {
    failure.Format("The run report %s is not there any more.", path.c_str());
  } else {
    failure.Format("No browser could be started to show the run report.\nThe report is %s.", path.c_str());
  }
  MessageBox(failure, nullptr, MB_OK | MB_ICONERROR);
}
