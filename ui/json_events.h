// A batch run as JSON Lines for a station's script: one object a line on standard output, each
// with "v": 1 and its "event": the start, each request, block, resend, silence and
// reconnection, the restart into download mode and the port followed, and the end with the exit
// code and the record's and report's paths. docs/json-events.md describes every event.
#pragma once

#include <cstdio>

#include "download/run_observer.h"

class CBatchStation;
class CRunRecorder;

class CJsonEvents : public RunObserver {
 public:
  // Follows the run after `station` and `recorder` have heard of its end, for the exit code,
  // the reason and the record's paths.
  CJsonEvents(std::FILE* out, const CBatchStation& station, const CRunRecorder& recorder);

  void OnRunStarted(const RunStart& start) override;
  void OnLogText(const CString&, COLORREF, bool) override {}
  void OnRunEvent(const RunEvent& event) override;
  void OnRunEnded(RunEnd end, int portNumber, const RunAccount& account) override;
  // After the station has closed: the end of a station that ended before its run began.
  void Finish();

 private:
  std::FILE* const m_out;
  const CBatchStation& m_station;
  const CRunRecorder& m_recorder;
  bool m_bEnded = false;
  bool m_bIgnored = false;  // the run of a station that had ended before it began
};
