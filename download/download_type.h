// The download types: how a run reaches a handset in its download mode, and what each type is
// called wherever it is chosen, stored or recorded. A new type is one row of the table in
// download/download_type.cpp.
#pragma once

#include <string>
#include <vector>

class CDownloadRun;

struct DownloadType {
  const char* comboText;    // its item in the Download Type combo
  const char* commandWord;  // its word after --type
  const char* recordWord;   // its name in a service record
  int storedValue;          // its number in the settings
  // The handset restarts into download mode before the run and may come back on another port,
  // which a station then follows.
  bool handsetRestarts;
  void (CDownloadRun::*start)();  // what Download does once the operator's choices are checked
};

// Every type, in the order of the combo's items: an item's place is its row. The first is the
// type of a fresh start.
const std::vector<DownloadType>& DownloadTypes();

// Null when no type has that place, value or word.
const DownloadType* DownloadTypeAt(int comboIndex);
const DownloadType* DownloadTypeStoredAs(int value);
const DownloadType* DownloadTypeNamed(const std::string& commandWord);
// The type's place in the combo; -1, no selection, for none.
int ComboIndexOf(const DownloadType* type);
