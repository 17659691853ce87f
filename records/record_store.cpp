#include "records/record_store.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/kernel/file_system.h"

namespace fs = std::filesystem;

namespace {

// A record is a file named "*.txt"; a name that starts with a dot is hidden, and no record.
bool IsRecordName(const std::string& name) {
  return name.size() > 4 && name[0] != '.' && name.compare(name.size() - 4, 4, ".txt") == 0;
}

std::vector<std::string> RecordNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    std::error_code unknown;
    const std::string name = entry->path().filename();
    if (IsRecordName(name) && !entry->is_directory(unknown)) names.push_back(name);
  }
  return names;
}

}  // namespace

RecordStore::RecordStore(std::string folder, size_t kept) : m_folder(std::move(folder)), m_kept(kept) {}

std::string RecordStore::DefaultFolder() {
  const std::string folder = platform::StateFolder();
  if (platform::MakePrivateFolders(fs::path(folder).parent_path()) != 0) return {};
  return folder;
}

std::string RecordStore::ReportNameOf(const std::string& recordName) {
  return recordName.substr(0, recordName.rfind('.')) + ".html";
}

bool RecordStore::Save(const std::string& name, const std::string& text, std::string* error) {
  std::error_code made;
  if (fs::create_directory(m_folder, made)) fs::permissions(m_folder, fs::perms::owner_all, made);
  if (made) {
    *error = "the folder cannot be made (" + made.message() + ")";
    return false;
  }
  // A reader never meets a torn record: a new version replaces the old one whole.
  if (const int failure = platform::ReplaceFileWhole(m_folder + "/" + name, text.data(), text.size())) {
    *error = std::string("the record cannot be written (") + std::strerror(failure) + ")";
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
  std::error_code ignored;
  for (size_t i = 0; i < excess; ++i) {
    fs::remove(m_folder + "/" + names[i], ignored);
    fs::remove(m_folder + "/" + ReportNameOf(names[i]), ignored);
  }
}
