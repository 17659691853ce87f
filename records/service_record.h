// A service record: what one download run was asked to do and how it ended, with its whole
// log, kept as a text file a technician can read and a script can parse ("Name: value" lines,
// then the log).
#pragma once

#include <string>
#include <vector>

#include "platform/kernel/system_time.h"
#include "records/run_end.h"

// An image as it was when the run started.
struct ImageFacts {
  std::string path;  // empty: no image of this kind
  bool readable = false;
  unsigned long long size = 0;
  std::string sha256;  // lower-case hexadecimal
};

ImageFacts ReadImageFacts(const std::string& path);

struct ServiceRecord {
  SYSTEMTIME startedUtc{};
  SYSTEMTIME startedLocal{};
  int portNumber = 0;
  std::string device;       // what the port named when the run started; empty if nothing
  int finalPortNumber = 0;  // the port the run followed its handset to, if another
  std::string finalDevice;
  std::string downloadType;
  bool bootArea = false;
  ImageFacts code;
  ImageFacts font;
  std::string fontAddress;
  std::vector<RunEnd> ends;               // in order; a run that got no answer may end again
  std::vector<std::string> unconfirmed;   // what was sent and never confirmed by the handset
  std::vector<std::string> messageBoxes;  // the texts of the boxes shown, in order
  unsigned long elapsedMs = 0;
  std::string log;
};

// The record's file name: its start in UTC first, so that names sort as the runs started, then
// the port and the process, so that stations running at once never share a name.
std::string RecordFileName(const ServiceRecord& record, unsigned long processId);
std::string FormatRecord(const ServiceRecord& record);
