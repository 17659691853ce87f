// One download run without a window, for a station's script: the choices come from the
// command line and the settings, the run's log goes to standard output line by line, its boxes
// and the reconnection question are answered (and told on standard error), and the program's
// exit code says how the run ended.
//
// The station is the run's host and its view: the run's messages and timers come to its
// window handle, which no screen shows.
#pragma once

#include <cstdio>
#include <string>

#include "download/download_run.h"
#include "platform/user/wnd.h"
#include "ui/command_line.h"
#include "ui/handset_follower.h"

class CBatchStation : public CWnd, private RunView, private RunObserver {
 public:
  // With the command line's limits: the stall guard, the erase's deadline and the wait for a
  // restarting handset.
  CBatchStation(const CommandLine& line, std::FILE* out, std::FILE* err);
  ~CBatchStation() override;

  void AddRunObserver(RunObserver* observer) { m_run.AddRunObserver(observer); }
  void RemoveRunObserver(RunObserver* observer) { m_run.RemoveRunObserver(observer); }
  void TraceFrames(CFrameTrace* trace) { m_run.SetTrace(trace); }

  // Takes the choices (the stored port and type where the command line names none) and starts
  // the run once messages are dispatched, as a click on Download would.
  void Start(const Preselection& pick);
  // Dispatches what comes until the station has closed.
  void RunToTheEnd();
  // Stops the run, as closing the window does; the station has closed then.
  void Close();

  bool Closed() const { return m_bClosed; }
  // Its run has ended, or it ended before its run could begin.
  bool HasEnded() const { return m_bEnded; }
  // EXIT_FAILED until a run has ended; and why it ended, when that was no success.
  int ExitCode() const { return m_nExitCode; }
  const CString& EndReason() const { return m_strEndText; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The run's view.
  void ShowLogLine(COLORREF color, const CString& text) override;
  void ShowLogText(COLORREF color, const CString& text) override;
  void ClearLog() override {}
  void ShowRunBar() override {}
  void ShowIdleBar() override {}
  void ShowPercent(int) override {}
  void ShowAddress(const CString&) override {}
  void ShowElapsed(const CString&) override {}
  void ShowIdleTitle() override {}
  void EnableControls(bool) override {}
  void ShowModeChange() override;
  void HideModeChange() override;
  void ShowBox(const CString& text) override { AnswerBox(text); }
  void ShowAlert(const CString& text) override { AnswerBox(text); }
  void ShowNotice(const CString& text) override { AnswerBox(text); }
  bool AskReconnect() override;

  // The run's start and end.
  void OnRunStarted(const RunStart& start) override;
  void OnLogText(const CString&, COLORREF, bool) override {}
  void OnRunEnded(RunEnd end, int portNumber, const RunAccount& account) override;

  // The image file the command line names, as the window takes it; told and refused otherwise.
  bool TakeImage(const std::string& given, CString* path);
  void AnswerBox(const CString& text);
  void NoteAnswer();
  void OnPortChange(WPARAM event, LPARAM record);
  void OnTimer(UINT id);
  // The handset's port is back: the run goes on once the least wait has passed.
  void GoOnWhenWaited();
  void EndBeforeRun(const CString& why);
  // The erase has a deadline of its own, in place of the stall guard.
  void FollowErase();
  CString WhyItEnded(RunEnd end, const RunAccount& account) const;
  void ArmStallTimer();
  void EndLine();

  const UINT m_nStallMs;
  const UINT m_nEraseMs;
  const UINT m_nModeWaitMs;
  std::FILE* const m_out;
  std::FILE* const m_err;
  CDownloadRun m_run{*this, *this};
  RunChoices m_choices;
  bool m_bRefused = false;  // an image the command line named is none
  bool m_bLineOpen = false;
  bool m_bEnded = false;
  bool m_bClosed = false;
  bool m_bRestarting = false;  // the handset restarts into download mode
  DWORD m_dwRestartedAt = 0;   // since when, on the platform clock
  bool m_bErasing = false;
  int m_nReconnections = 0;
  bool m_bAnsweredSinceReconnection = false;
  CHandsetFollower m_follower;
  CString m_strEndReason;  // said instead of the last box when the run ends
  int m_nExitCode = EXIT_FAILED;
  CString m_strLastBox;
  CString m_strEndText;  // what standard error was told of the end
};
