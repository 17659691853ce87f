// CFileDialog: the common dialog in which the operator picks a file, in MFC's shape. The
// window system shows its own file dialog; tests answer it through the modal seam, writing
// the chosen path into the file name buffer as the common dialog does.
#pragma once

#include <string>
#include <vector>

#include "platform/user/dialog.h"

constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;

struct OPENFILENAME {
  DWORD Flags;
  LPCSTR lpstrFilter;  // pairs of description and patterns, each ended by '|', the list by "||"
  LPCSTR lpstrDefExt;  // appended to a name typed without an extension
  char* lpstrFile;     // the initial file name in, the chosen path out
  DWORD nMaxFile;
};

class CFileDialog : public CDialog {
 public:
  CFileDialog(BOOL openFileDialog, LPCSTR defaultExt = nullptr, LPCSTR fileName = nullptr,
              DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR filter = nullptr, CWnd* parent = nullptr);

  INT_PTR DoModal() override;
  // The chosen file, a native path; its name; the text after the last dot of the name.
  CString GetPathName() const;
  CString GetFileName() const;
  CString GetFileExt() const;

  OPENFILENAME m_ofn;

 private:
  void AppendDefaultExtension();

  BOOL m_bOpenFileDialog;
  CString m_strFilter;
  CString m_strDefExt;
  // Room for any path this system allows.
  char m_szFileName[4096] = {};
};

namespace platform {

// What the window system's file dialog is asked: the initial file name split into a native
// folder and a name (a pattern such as "*.bin" only lists), and the filters.
struct FileFilter {
  std::string description;            // without a pattern list of its own
  std::vector<std::string> patterns;  // "*.*" is every file
};

struct FileDialogRequest {
  bool open;
  std::string folder;
  std::string name;
  std::string defaultExt;
  std::vector<FileFilter> filters;
  DWORD flags;
};

FileDialogRequest MakeFileDialogRequest(const OPENFILENAME& ofn, bool open);

}  // namespace platform
