// Leaves a service record of every run: written when it starts, when it ends, and again if it
// ends once more (a run that got no answer and then went on). The texts of the message boxes
// shown since the run started go into it too.
#pragma once

#include <string>

#include "download/run_observer.h"
#include "records/record_store.h"
#include "records/service_record.h"

class CRunRecorder : public RunObserver {
 public:
  explicit CRunRecorder(RecordStore store);

  void OnRunStarted(const RunStart& start) override;
  void OnLogText(const CString& text, bool newLine) override;
  void OnRunEnded(RunEnd end, int portNumber, const RunAccount& account) override;
  void NoteMessageBox(const CString& text);

  // The file of the current or last run; empty before the first.
  std::string LastRecordPath() const;

 private:
  void Save();

  RecordStore m_store;
  bool m_bStarted = false;
  ServiceRecord m_record;
  std::string m_fileName;
  DWORD m_dwStartTick = 0;
};
