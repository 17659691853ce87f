// What a download run asks of a screen: its log, its progress, the operator's controls, the
// window's title, the notice shown while a handset restarts into download mode, message boxes
// and the reconnection question. The main dialog shows them to the operator; a batch station
// prints them and answers.
#pragma once

#include "platform/kernel/text.h"
#include "platform/kernel/types.h"

class RunView {
 public:
  virtual ~RunView() = default;

  // The log: a new line in its colour, text added to the last line (the tick that closes a
  // step), and an empty log.
  virtual void ShowLogLine(COLORREF color, const CString& text) = 0;
  virtual void ShowLogText(COLORREF color, const CString& text) = 0;
  virtual void ClearLog() = 0;

  // The run bar from nought in place of the idle bar, and back; the share of the area sent,
  // also in the title; where the last block went and the time since the start (an empty text
  // clears its field).
  virtual void ShowRunBar() = 0;
  virtual void ShowIdleBar() = 0;
  virtual void ShowPercent(int percent) = 0;
  virtual void ShowAddress(const CString& text) = 0;
  virtual void ShowElapsed(const CString& text) = 0;
  // The title a window has when no download is under way.
  virtual void ShowIdleTitle() = 0;

  // The operator's choices: locked during a run.
  virtual void EnableControls(bool enable) = 0;

  // The notice that the handset restarts into download mode.
  virtual void ShowModeChange() = 0;
  virtual void HideModeChange() = 0;

  // A box the operator closes: the window's own, the program's alert with its mark, or the
  // program's notice with the information mark (an image that cannot be read).
  virtual void ShowBox(const CString& text) = 0;
  virtual void ShowAlert(const CString& text) = 0;
  virtual void ShowNotice(const CString& text) = 0;
  // After repeated silence: whether to open the port again and go on.
  virtual bool AskReconnect() = 0;
};
