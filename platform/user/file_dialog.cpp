#include "platform/user/file_dialog.h"

#include <cstdio>
#include <cstring>

#include "platform/posix/drive_map.h"
#include "platform/user/ui_system.h"

namespace platform {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
    parts.push_back(text.substr(start, at - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// "Phone Code File (*.bin)" loses its own pattern list; the patterns follow it separately.
std::string WithoutPatternList(std::string description) {
  const std::size_t open = description.rfind(" (");
  if (open != std::string::npos && !description.empty() && description.back() == ')') description.erase(open);
  return description;
}

std::vector<FileFilter> ParseFilter(const char* filter) {
  std::vector<FileFilter> filters;
  if (!filter) return filters;
  const std::vector<std::string> parts = Split(filter, '|');
  for (std::size_t i = 0; i + 1 < parts.size() && !parts[i].empty(); i += 2) {
    filters.push_back(FileFilter{WithoutPatternList(parts[i]), Split(parts[i + 1], ';')});
  }
  return filters;
}

}  // namespace

FileDialogRequest MakeFileDialogRequest(const OPENFILENAME& ofn, bool open) {
  FileDialogRequest request{open,     {}, {}, ofn.lpstrDefExt ? ofn.lpstrDefExt : "", ParseFilter(ofn.lpstrFilter),
                            ofn.Flags};
  // A folder given the Windows way, drive C included, is the native folder it stands for.
  const std::string initial = posix::NativePath(ofn.lpstrFile);
  const std::size_t slash = initial.find_last_of('/');
  request.folder = slash == std::string::npos ? std::string() : initial.substr(0, slash + 1);
  request.name = slash == std::string::npos ? initial : initial.substr(slash + 1);
  return request;
}

}  // namespace platform

CFileDialog::CFileDialog(BOOL openFileDialog, LPCSTR defaultExt, LPCSTR fileName, DWORD flags, LPCSTR filter,
                         CWnd* parent)
    : CDialog(0, parent), m_bOpenFileDialog(openFileDialog), m_strFilter(filter), m_strDefExt(defaultExt) {
  std::snprintf(m_szFileName, sizeof m_szFileName, "%s", fileName ? fileName : "");
  m_ofn = OPENFILENAME{flags, filter ? m_strFilter.GetString() : nullptr,
                       defaultExt ? m_strDefExt.GetString() : nullptr, m_szFileName, sizeof m_szFileName};
}

INT_PTR CFileDialog::DoModal() {
  INT_PTR result = IDCANCEL;
  if (const platform::ModalHandler handler = platform::CurrentModalHandler()) {
    result = handler(*this);
  } else if (platform::UiSystem* system = platform::TheUiSystem()) {
    std::string chosen;
    if (system->RunFileDialog(OwnerWindow(), platform::MakeFileDialogRequest(m_ofn, m_bOpenFileDialog), &chosen) &&
        chosen.size() < m_ofn.nMaxFile) {
      std::memcpy(m_ofn.lpstrFile, chosen.c_str(), chosen.size() + 1);
      result = IDOK;
    }
  }
  if (result == IDOK) AppendDefaultExtension();
  return result;
}

void CFileDialog::AppendDefaultExtension() {
  if (!m_ofn.lpstrDefExt || !*m_ofn.lpstrDefExt || GetFileName().IsEmpty()) return;
  if (std::strchr(GetFileName(), '.')) return;
  const std::string path = std::string(m_ofn.lpstrFile) + "." + m_ofn.lpstrDefExt;
  if (path.size() < m_ofn.nMaxFile) std::memcpy(m_ofn.lpstrFile, path.c_str(), path.size() + 1);
}

CString CFileDialog::GetPathName() const { return CString(m_ofn.lpstrFile); }

CString CFileDialog::GetFileName() const {
  const char* slash = std::strrchr(m_ofn.lpstrFile, '/');
  return CString(slash ? slash + 1 : m_ofn.lpstrFile);
}

CString CFileDialog::GetFileExt() const {
  const CString name = GetFileName();
  const char* dot = std::strrchr(name, '.');
  return CString(dot ? dot + 1 : "");
}
