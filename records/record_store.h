// The folder of service records: each saved whole or not at all, the oldest removed beyond a
// number kept.
#pragma once

#include <string>

class RecordStore {
 public:
  static constexpr size_t kRecordsKept = 1000;

  // `folder` is made, private to the user, when the first record is saved; the folder above it
  // must be there.
  explicit RecordStore(std::string folder, size_t kept = kRecordsKept);
  // The per-user records folder: "flashgate" in the user's state folder, which is made, with
  // the folders above it, private to the user. Empty when that cannot be made.
  static std::string DefaultFolder();

  // The name of a record's run report, which lives and goes with it: "X.txt" is reported in "X.html".
  static std::string ReportNameOf(const std::string& recordName);

  // Writes `text` as `name`, replacing an earlier version whole, then removes the oldest records
  // beyond the number kept. False, with the reason in `error`, when it could not be saved.
  bool Save(const std::string& name, const std::string& text, std::string* error);
  const std::string& Folder() const { return m_folder; }

 private:
  void RemoveOldest(const std::string& kept);

  std::string m_folder;
  size_t m_kept;
};
