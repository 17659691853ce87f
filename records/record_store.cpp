#include "records/record_store.h"

#include <algorithm>
#include <vector>

#include "platform/kernel/file_system.h"
#include "platform/kernel/last_error.h"

namespace {

constexpr char kRecordPattern[] = "*.txt";

std::vector<std::string> RecordNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE find = FindFirstFileA((folder + "/" + kRecordPattern).c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return names;
}

std::string Reason(const char* what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

}  // namespace

RecordStore::RecordStore(std::string folder, size_t kept) : m_folder(std::move(folder)), m_kept(kept) {}

std::string RecordStore::DefaultFolder() {
  char appData[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData) != S_OK) return {};
  return std::string(appData) + "/flashgate";
}

bool RecordStore::Save(const std::string& name, const std::string& text, std::string* error) {
  if (!CreateDirectoryA(m_folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    *error = Reason("the folder cannot be made");
    return false;
  }
  // A reader never meets a torn record: a new version replaces the old one whole.
  if (!SaveFileWhole((m_folder + "/" + name).c_str(), text.data(), static_cast<DWORD>(text.size()))) {
    *error = Reason("the record cannot be written");
    return false;
  }
  RemoveOldest(name);
  return true;
}

void RecordStore::RemoveOldest(const std::string& kept) {
  std::vector<std::string> names = RecordNames(m_folder);
  if (names.size() <= m_kept) return;
  // Names begin with the start time, so the oldest sort first; but the record just written
  // stays whatever its name says (the clock may have been set back since the others).
  const size_t total = names.size();
  names.erase(std::remove(names.begin(), names.end(), kept), names.end());
  std::sort(names.begin(), names.end());
  const size_t excess = std::min(total - m_kept, names.size());
  for (size_t i = 0; i < excess; ++i) DeleteFileA((m_folder + "/" + names[i]).c_str());
}
