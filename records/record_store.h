// The folder of service records: each saved whole or not at all, the oldest removed beyond a
// number kept.
#pragma once

#include <string>

class RecordStore {
 public:
  static constexpr size_t kRecordsKept = 1000;

  // `folder` is made when the first record is saved.
  explicit RecordStore(std::string folder, size_t kept = kRecordsKept);
  // The per-user records folder: "flashgate" in the machine-local application data.
  static std::string DefaultFolder();

  // Writes `text` as `name`, replacing an earlier version whole, then removes the oldest records
  // beyond the number kept. False, with the reason in `error`, when it could not be saved.
  bool Save(const std::string& name, const std::string& text, std::string* error);
  const std::string& Folder() const { return m_folder; }

 private:
  void RemoveOldest(const std::string& kept);

  std::string m_folder;
  size_t m_kept;
};
