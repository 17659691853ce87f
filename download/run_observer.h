// Who follows a run from outside it (the service records, a batch station): its start, its
// log as it is written, and each way it ends.
#pragma once

#include "download/download_type.h"
#include "download/run_account.h"
#include "download/run_event.h"
#include "platform/kernel/text.h"
#include "records/run_end.h"

// What the operator had chosen when Download was pressed.
struct RunStart {
  int portNumber = 0;
  const DownloadType* downloadType = nullptr;  // null when the stored type is none of the types
  bool bootArea = false;
  // The image the run sends: the code image when one is chosen, else the font image.
  CString codePath;  // empty when no code image is sent
  CString fontPath;  // empty when no font image is sent
  CString fontAddress;
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void OnRunStarted(const RunStart& start) = 0;
  // Text as the log receives it, in its colour: a new line, or text added to the current one
  // (a tick).
  virtual void OnLogText(const CString& text, COLORREF color, bool newLine) = 0;
  // The text of a box the run shows, before it is shown.
  virtual void OnMessageBox(const CString& text) { (void)text; }
  // What happens on the line, as it happens.
  virtual void OnRunEvent(const RunEvent& event) { (void)event; }
  // `portNumber` is the port the run used last: a NORMAL run may have followed its handset.
  // `account` is what the handset confirmed of the run so far.
  virtual void OnRunEnded(RunEnd end, int portNumber, const RunAccount& account) = 0;
};
