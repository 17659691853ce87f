// The Code and Font buttons: switched on, they ask for a .bin image in the folder of the last
// one; switched off, they drop the choice. Nothing is read from the file here: a run opens it.
#include "platform/user/file_dialog.h"
#include "platform/user/message_box.h"
#include "resources/resource.h"
#include "ui/aux_dialogs.h"
#include "ui/downloader_dlg.h"
#include "ui/preselection.h"
#include "ui/settings.h"

namespace {

constexpr char kCodeFilter[] = "Phone Code File (*.bin)|*.bin|All Files (*.*)|*.*||";
constexpr char kFontFilter[] = "Phone Font File (*.bin)|*.bin|All Files (*.*)|*.*||";

}  // namespace

CDownloaderDlg::ImageChoice CDownloaderDlg::BrowseImage(const char* filter, const char* folderValue, CString& path) {
  CString folder = ReadRegString(folderValue);
  if (folder.IsEmpty()) folder = "C:\\";
  CFileDialog dialog(TRUE, "bin", folder + "*.bin", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter);
  if (dialog.DoModal() != IDOK) return ImageChoice::Cancelled;

  CString extension = dialog.GetFileExt();
  if (extension.MakeLower() != "bin") {
    MessageBox(kNotAnImage, nullptr, MB_OK);
    return ImageChoice::Refused;
  }
  path = dialog.GetPathName();
  // The folder keeps its separator: a file name never holds one, so trimming stops there.
  CString chosenFolder = path;
  chosenFolder.TrimRight(dialog.GetFileName());
  WriteRegString(folderValue, chosenFolder);
  return ImageChoice::Chosen;
}

void CDownloaderDlg::OnBrowseCode() {
  UpdateData(TRUE);
  m_bCodeSelected = static_cast<BYTE>(m_nCodeCheck);
  if (!m_bCodeSelected) {
    m_strCodePathText.Empty();
    m_strVersion.Empty();
    m_nBootAreaCheck = 0;
    m_bBootArea = 0;
    GetDlgItem(IDC_CHANGE_BOOT_AREA)->EnableWindow(FALSE);
  } else {
    CString path;
    switch (BrowseImage(kCodeFilter, kCodeFolderValue, path)) {
      case ImageChoice::Cancelled:
        m_strVersion.Empty();
        m_nCodeCheck = 0;
        m_bCodeSelected = 0;
        break;
      case ImageChoice::Refused:
        // The Download button keeps the state it had with the button off.
        m_nCodeCheck = 0;
        m_bCodeSelected = 0;
        m_strVersion.Empty();
        UpdateData(FALSE);
        return;
      case ImageChoice::Chosen: SelectCodeImage(path); break;
    }
  }
  UpdateDownloadButton();
  UpdateData(FALSE);
}

void CDownloaderDlg::OnBrowseFont() {
  UpdateData(TRUE);
  m_bFontSelected = static_cast<BYTE>(m_nFontCheck);
  if (!m_bFontSelected) {
    m_strFontPathText.Empty();
    m_strFontAddress.Empty();
    GetDlgItem(IDC_FONT_ADDRESS)->EnableWindow(FALSE);
  } else {
    CString path;
    switch (BrowseImage(kFontFilter, kFontFolderValue, path)) {
      case ImageChoice::Cancelled:
        m_nFontCheck = 0;
        m_bFontSelected = 0;
        GetDlgItem(IDC_FONT_ADDRESS)->EnableWindow(FALSE);
        break;
      case ImageChoice::Refused:
        m_nFontCheck = 0;
        m_bFontSelected = 0;
        GetDlgItem(IDC_FONT_ADDRESS)->EnableWindow(FALSE);
        UpdateData(FALSE);
        return;
      case ImageChoice::Chosen: SelectFontImage(path); break;
    }
  }
  UpdateDownloadButton();
  UpdateData(FALSE);
}

void CDownloaderDlg::OnChangeBootArea() {
  UpdateData(TRUE);
  if (!m_nBootAreaCheck) {
    m_bBootArea = 0;
    return;
  }
  CBootAreaConfirmDlg confirm;
  if (confirm.DoModal() == IDOK) {
    m_bBootArea = 1;
    return;
  }
  m_nBootAreaCheck = 0;
  m_bBootArea = 0;
  UpdateData(FALSE);
}
