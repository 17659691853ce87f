// The run's report: a page of its own beside the service record, for the technician and the
// service lead. It shows the record's facts, a map of every block coloured by what became of
// it, the blocks' round trips over the run with the NAKs, silences and reconnections marked on
// the same time axis, and the log in its colours. The page needs nothing beside it: its
// pictures are inline SVG, its style inline CSS, and it has no script.
#pragma once

#include <string>
#include <vector>

#include "download/run_account.h"
#include "records/service_record.h"

// A piece of the log as the window wrote it: a line, or text added to the line before (a tick).
struct LogPiece {
  std::string text;
  COLORREF color = 0;
  bool newLine = true;
};

std::string FormatRunReport(const ServiceRecord& record, const RunAccount& account, const std::vector<LogPiece>& log);
