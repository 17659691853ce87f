// Who follows a run from outside the dialog (the service records, a batch run): its start, its
// log as it is written, and each way it ends.
#pragma once

#include "download/download_type.h"
#include "download/run_account.h"
#include "platform/kernel/text.h"

// How a run ended. A run that got no answer may still go on when a late answer comes, and end
// again in another way.
enum class RunEnd {
  Completed,             // the final report, every erase and block confirmed by the handset
  CompletedUnconfirmed,  // the final report, but the handset did not confirm all that was sent
  NoAnswer,              // the handset fell silent and the run gave up waiting
  ReconnectFailed,       // the port could not be opened again after repeated silence
  ReconnectDeclined,     // the operator chose not to reconnect
  PortNotOpened,         // the run could not connect to the handset
  Refused,               // the font address or an image was refused before anything was sent
  NoDownloadType,        // the download type is none of the types: nothing was started
  HandsetLost,           // the port went away during the run
  ImageUnreadable,       // the image file shrank or went away during the run
  Closed,                // the operator closed the window during the run
};

const char* RunEndText(RunEnd end);

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
  // `portNumber` is the port the run used last: a NORMAL run may have followed its handset.
  // `account` is what the handset confirmed of the run so far.
  virtual void OnRunEnded(RunEnd end, int portNumber, const RunAccount& account) = 0;
};
