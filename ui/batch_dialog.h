// One download run without a window: the main dialog on no screen, pressed once, its message
// boxes and the reconnection question answered (and told on standard error), its log on
// standard output line by line, and the program's exit code from how the run ended.
#pragma once

#include <cstdio>

#include "platform/user/message_box.h"
#include "platform/user/ui_system.h"
#include "ui/downloader_dlg.h"
#include "ui/handset_follower.h"

class CBatchDownloaderDlg : public CDownloaderDlg, private RunObserver {
 public:
  CBatchDownloaderDlg(int stallSeconds, int eraseSeconds, std::FILE* out, std::FILE* err);
  ~CBatchDownloaderDlg() override;

  // EXIT_FAILED until a run has ended.
  int ExitCode() const { return m_nExitCode; }

  // A station follows only its own handset: ports that come and go are taken up only while
  // this handset restarts into download mode (the NORMAL type), and only the handset's own.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // A station whose ports cannot be announced does not start.
  BOOL OnInitDialog() override;

 protected:
  void OnTimer(UINT_PTR id);

  DECLARE_MESSAGE_MAP()

 private:
  void OnRunStarted(const RunStart& start) override;
  void OnLogText(const CString& text, COLORREF color, bool newLine) override;
  void OnRunEnded(RunEnd end, int portNumber, const RunAccount& account) override;

  int AnswerMessageBox(const platform::MessageBoxRequest& request);
  int AnswerDialog(CDialog& dialog);
  void NoteAnswer();
  bool TakesPortChange(WPARAM event, LPARAM record);
  void EndBeforeRun(const CString& why);
  // The erase has a deadline of its own, in place of the stall guard.
  void FollowErase();
  CString WhyItEnded(RunEnd end, const RunAccount& account) const;
  void ArmStallTimer();
  void EndLine();

  const UINT m_nStallMs;
  const UINT m_nEraseMs;
  std::FILE* const m_out;
  std::FILE* const m_err;
  bool m_bLineOpen = false;
  bool m_bEnded = false;
  bool m_bErasing = false;
  int m_nReconnections = 0;
  bool m_bAnsweredSinceReconnection = false;
  CHandsetFollower m_follower;
  CString m_strEndReason;  // said instead of the last box when the run ends
  int m_nExitCode;
  CString m_strLastBox;
  platform::MessageBoxHandler m_previousBoxes;
  platform::ModalHandler m_previousDialogs;
};
