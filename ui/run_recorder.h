// Leaves a service record of every run, with its report beside it: written when it starts, when
// it ends, and again if it ends once more (a run that got no answer and then went on). The
// texts of the message boxes shown since the run started go into it too.
#pragma once

#include <string>
#include <vector>

#include "download/run_observer.h"
#include "records/record_store.h"
#include "records/service_record.h"
#include "ui/run_report.h"

class CRunRecorder : public RunObserver {
 public:
  explicit CRunRecorder(RecordStore store);

  void OnRunStarted(const RunStart& start) override;
  void OnLogText(const CString& text, COLORREF color, bool newLine) override;
  void OnRunEnded(RunEnd end, int portNumber, const RunAccount& account) override;
  void OnMessageBox(const CString& text) override;

  // The files of the current or last run; empty before the first.
  std::string LastRecordPath() const;
  std::string LastReportPath() const;
  // Every version of the report goes to `path` as well, a station's own place for it; it is
  // written at once, and false with the reason in `error` when it cannot be.
  bool ReportAlsoTo(const std::string& path, std::string* error);

 private:
  void Save();
  bool SaveReportAt(const std::string& path, const std::string& page, std::string* error) const;

  RecordStore m_store;
  bool m_bStarted = false;
  ServiceRecord m_record;
  std::vector<LogPiece> m_log;
  RunAccount m_account;  // what the handset confirmed, as of the run's last end
  std::string m_fileName;
  std::string m_reportPath;  // where the report is written besides the records folder
  DWORD m_dwStartTick = 0;
};
