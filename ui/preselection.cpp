// The choices given on the command line, made in the window as the operator would make them:
// the same checks, the same controls switched on, nothing written to the settings.
#include "ui/preselection.h"

#include <cstring>

#include "platform/kernel/com_port.h"
#include "platform/kernel/file_system.h"
#include "platform/user/message_box.h"
#include "resources/resource.h"
#include "ui/downloader_dlg.h"

namespace {

CString FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? CString(full) : CString(path.c_str());
}

// Otherwise the operator is told, as the open-file dialog would.
bool AcceptImage(CWnd& owner, const std::string& given, CString* path) {
  if (TakeImagePath(given, path)) return true;
  owner.MessageBox(kNotAnImage, nullptr, MB_OK);
  return false;
}

}  // namespace

bool TakeImagePath(const std::string& given, CString* path) {
  *path = FullPath(given);
  const char* name = std::strrchr(*path, '/');
  const char* dot = std::strrchr(name ? name : path->GetString(), '.');
  return dot && CString(dot + 1).MakeLower() == "bin";
}

CString DemoNote(int portNumber) {
  CString note;
  note.Format(
      "Demo: the handset on %s is the bundled simulator. Switch on Code, choose a sample image "
      "and press Download. After a download it restarts into its normal software, as a handset "
      "does: choose NORMAL for the next one. Your own settings are not used.",
      platform::ComPortName(portNumber).c_str());
  return note;
}

void CDownloaderDlg::SelectCodeImage(const CString& path) {
  m_nCodeCheck = 1;
  m_bCodeSelected = 1;
  m_strCodePathText = path;
  m_strCodePath = path;
  GetDlgItem(IDC_CHANGE_BOOT_AREA)->EnableWindow(TRUE);
  // The number of the image a run read last; 0 before any run.
  m_strVersion.Format("%d", static_cast<int>(m_run.ImageDisplayNumber()));
}

void CDownloaderDlg::SelectFontImage(const CString& path) {
  m_nFontCheck = 1;
  m_bFontSelected = 1;
  m_strFontPathText = path;
  m_strFontPath = path;
  GetDlgItem(IDC_FONT_ADDRESS)->EnableWindow(TRUE);
}

void CDownloaderDlg::ApplyPreselection() {
  const Preselection& pick = m_preselection;
  if (pick.port) {
    m_nPortNumber = pick.port;
    m_nPortIndex = pick.port - 1;
    ListPort(pick.port);
  }
  if (pick.downloadType) m_nDownloadType = ComboIndexOf(pick.downloadType);
  CString path;
  bool refused = false;
  if (!pick.codePath.empty()) {
    if (AcceptImage(*this, pick.codePath, &path)) {
      SelectCodeImage(path);
      m_nBootAreaCheck = pick.bootArea ? 1 : 0;
      m_bBootArea = pick.bootArea ? 1 : 0;
    } else {
      refused = true;
    }
  }
  if (!pick.fontPath.empty()) {
    if (AcceptImage(*this, pick.fontPath, &path)) {
      SelectFontImage(path);
      m_strFontAddress = pick.fontAddress.c_str();
    } else {
      refused = true;
    }
  }
  UpdateDownloadButton();
  UpdateData(FALSE);
  if (pick.demo) m_run.AppendLogLine(COLOR_INFO, DemoNote(m_nPortNumber));
  if (!pick.start) return;
  // Half of what was asked for is not sent: a refused image refuses the run as a whole.
  if (refused) {
    m_run.RefuseStart(Choices());
    return;
  }
  // As a click would: what the run refuses, it refuses with its own boxes.
  PostMessage(WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED), 0);
}
