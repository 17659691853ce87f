// One download run after another: the serial port and its receive thread, the log queue, the
// image reader and the step machine that sends the image request by request.
//
// The run lives on the user-interface thread and moves with window messages: the host window
// receives what the receive thread posts (an answer, a log line, its own end) and the run's
// timers, and hands each to the member of the same name. What the run shows and asks goes to
// its view. The run owns no window, so a screen and a station without one drive the same run.
#pragma once

#include <vector>

#include "download/download_type.h"
#include "download/run_observer.h"
#include "download/run_state.h"
#include "download/run_view.h"
#include "image/image_file.h"
#include "link/log_queue.h"
#include "platform/kernel/modem_manager.h"
#include "platform/user/wnd.h"
#include "serial/serial_port.h"
#include "serial/thread_rx.h"

class CFrameTrace;

// What the operator had chosen when Download was pressed.
struct RunChoices {
  int portNumber = 0;
  const DownloadType* downloadType = nullptr;  // null when the stored type is none of the types
  bool codeSelected = false;
  bool fontSelected = false;
  CString codePath;
  CString fontPath;
  CString fontAddress;  // as typed
  bool bootArea = false;
  // How long a handset that restarts into download mode may take at most.
  UINT modeChangeMs = kModeChangeMs;
};

// The start address of the font image as typed: hexadecimal digits as strtoul reads them after
// a "0X" prefix of its own, held to 32 bits. Reading stops at the first character that is no
// digit, and a larger value is 0xFFFFFFFF.
DWORD ParseFontAddress(const CString& text);
// "Elapsed time : M min S sec".
CString ElapsedText(DWORD elapsedMs);

class CDownloadRun {
 public:
  CDownloadRun(CWnd& host, RunView& view);
  CDownloadRun(const CDownloadRun&) = delete;
  CDownloadRun& operator=(const CDownloadRun&) = delete;

  // Those who follow every run; and the trace every frame goes into.
  void AddRunObserver(RunObserver* observer);
  void RemoveRunObserver(RunObserver* observer);
  void SetTrace(CFrameTrace* trace) { m_serialPort.SetTrace(trace); }

  // Download pressed with these choices.
  void OnDownload(const RunChoices& choices);
  // A run asked for whose images were refused before it could start.
  void RefuseStart(const RunChoices& choices);
  // The handset's port arrived under another number: the run opens that one from now on.
  void FollowPort(int portNumber);
  // While the handset restarts into download mode: its port is back, and the run goes on at once.
  void EndModeChange();
  // The window closes: the run stops, and its observers hear it.
  void OnClose();
  // The run ended for a reason of its driver's own (a station's deadline): its observers hear
  // how. Told only once per run; a run that gave up waiting ends quietly.
  void NotifyRunEnded(RunEnd end);

  // What the host window hands on.
  void OnResponseReady();
  void OnLogQueued();
  void OnRxThreadEnded();
  void OnTimer(UINT id);

  // A line of the run's log, shown and told to the observers; the host's own lines go there too.
  void AppendLogLine(COLORREF color, const CString& text);
  // The tick that closes a finished step, at the end of the last line.
  void AppendTick();

  // What others may look at.
  const RunState& State() const { return m_run; }
  bool Reconnecting() const { return m_run.reconnecting; }
  // Why the last image was refused, and what kept the port closed when it could not be opened,
  // for those who cannot see the box or the log.
  const CString& Refusal() const { return m_strRefusal; }
  const CString& PortProblem() const { return m_strPortProblem; }
  // The number the last image read carries; 0 before any.
  DWORD ImageDisplayNumber() const { return m_imageFile.m_dwDisplayNumber; }
  // The code of the answer waiting to be handled, if one is.
  bool PeekResponse(BYTE* code) { return m_serialPort.PeekResponse(code); }

  // The plan (run_plan.cpp).
  bool ValidateFontAddress();
  bool ClassifyImage();
  bool SelectNextImage();

  // The step machine (run_steps.cpp, run_timeouts.cpp). AdvanceRun answers false when the run
  // stopped instead (the image could no longer be read).
  bool AdvanceRun();
  void ArmTimer(UINT id, UINT intervalMs);

  // Start, connection and stop (run_start.cpp, connection.cpp).
  void StartEmergencyDownload();
  void StartNormalDownload();
  bool EnsureConnected();
  bool ConnectHandset();
  void StopRun();
  void ResetRun();

 private:
  friend class RunProbe;  // the tests' look inside

  RunView& View() { return m_view; }
  void LogLine(int kind, const CString& text);
  void ResetProgress();
  void UpdateProgress();
  void UpdateElapsed();
  // Where the operator is shown the area being sent begins.
  DWORD ShownBase() const;
  // The blocks of the area planned, in the account too.
  void BeginArea();

  bool HandleResponse();
  void WriteBanner();
  bool SendBlock();
  void StopForUnreadableImage(DWORD offset);
  void EndArea();
  void PlanCodeArea();
  void ReportCompletion();
  bool ResendAfterNak(BYTE code, const char* text);
  void RetryAfterSilence();
  // The final report when the final reset went unanswered: after its time-out, or at once when
  // the handset restarted.
  void ReportWithoutResetAnswer();
  void GiveUp(UINT id);
  void Reconnect();
  bool OpenImage(const CString& path);
  // When the reader could not read the image at all.
  void TellImageProblem();
  bool ClassifyCodeImage();
  bool ClassifyFontImage();
  bool PlanInsideFile();
  void RefuseHeader(DWORD offset, DWORD length);
  bool PrepareRun();
  // Opens the chosen port; otherwise the log says "USB 연결 상태를 확인하세요." and, when it is
  // known, what keeps the port closed: a process that holds it, or why the open failed.
  bool OpenPort();
  // The modem manager's refusal to let go of the handset, if it gave one during this run.
  void LogModemRefusal();
  void OnModeChangeOver();
  void SetTimer(UINT id, UINT intervalMs);
  void KillTimer(UINT id);

  // The run's start and ends are told to its observers (run_events.cpp).
  void NotifyRunStarted();
  void NotifyLogText(const CString& text, COLORREF color, bool newLine);
  // The run's boxes, told to the observers before the view shows them.
  void ShowBox(const CString& text);
  void ShowAlert(const CString& text);
  void ShowNotice(const CString& text);
  void NotifyMessageBox(const CString& text);
  void NotifyEvent(const RunEvent& event);
  void NotifyRequest(const char* request);
  void NotifyResend(BYTE nakCode);
  void NotifyLineEvent(RunEvent::Kind kind);
  // Each block whose fate is known now and was not told yet.
  void NotifySettledBlocks();

  CWnd& m_host;
  RunView& m_view;
  RunChoices m_choices;
  DWORD m_dwFontAddress = 0;
  CThreadRX* m_pThreadRX = nullptr;  // the receive thread while connected; it deletes its own object
  // Before the port: what the modem manager is kept off is given back after the port closes.
  platform::ModemInhibitions m_modems;
  CLogQueue m_logQueue;
  CImageFile m_imageFile;
  CSerialPort m_serialPort;
  RunState m_run;
  CString m_strRefusal;
  CString m_strPortProblem;
  CString m_strModemRefusal;            // the modem manager's, during this run
  std::size_t m_settledBlocksTold = 0;  // of the last area
  std::vector<RunObserver*> m_runObservers;
};
