// The main dialog: every control of the tool, the selections and settings behind them, and
// the serial port, log queue and image reader that a download run uses.
#pragma once

#include <vector>
#include "controls/balloon_tip.h"
#include "controls/icon_button.h"
#include "controls/percent_progress_ctrl.h"

#include "download/download_type.h"
#include "download/run_observer.h"
#include "download/run_state.h"
#include "download/run_view.h"
#include "image/image_file.h"
#include "link/log_queue.h"
#include "platform/user/controls.h"
#include "platform/user/dialog.h"
#include "platform/user/resources.h"
#include "serial/serial_port.h"
#include "serial/thread_rx.h"
#include "ui/aux_dialogs.h"
#include "ui/command_line.h"

// The title the dialog shows when no download is under way.
extern const char* const kWindowTitle;

class CRunRecorder;

// The main dialog is the run's view: what the run shows and asks goes to its controls and boxes.
class CDownloaderDlg : public CDialog, private RunView {
 public:
  explicit CDownloaderDlg(CWnd* parent = nullptr);

  void LoadSettings();
  void UpdateDownloadButton();

  // Those who follow every run, and the choices the window starts with (ui/preselection.cpp).
  void AddRunObserver(RunObserver* observer);
  void RemoveRunObserver(RunObserver* observer);
  void SetPreselection(const Preselection& preselection) { m_preselection = preselection; }
  // Where the log's menu finds the last run's report; and the trace every frame goes into.
  void ShowReportsOf(const CRunRecorder* recorder) { m_pRecorder = recorder; }
  void TraceFrames(CFrameTrace* trace) { m_serialPort.SetTrace(trace); }

  BOOL OnInitDialog() override;
  BOOL PreTranslateMessage(MSG* msg) override;
  // Port arrivals and removals first, then the framework's procedure.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The controls bound by data exchange, the hint over the port combo, the format of the log's
  // lines and the window's icon.
  CIconButton m_btnDownload;
  CPercentProgressCtrl m_idleBar;
  CPercentProgressCtrl m_runBar;
  CRichEditCtrl m_log;
  CBalloonTip m_balloon;
  CHARFORMAT m_logFormat;
  HICON m_hIcon;
  // The values shown in the controls.
  int m_nPortIndex = 0;
  int m_nCodeCheck = 0;
  int m_nFontCheck = 0;
  CString m_strCodePathText;
  CString m_strFontPathText;
  CString m_strFontAddress;
  CString m_strAddress;
  CString m_strElapsed;
  int m_nBootAreaCheck = 0;
  int m_nDownloadType = 0;  // the item of the Download Type combo, a row of DownloadTypes(); -1 for none
  CString m_strAutoDetect;
  CString m_strVersion;
  // The operator's selection.
  BYTE m_bCodeSelected = 0;
  BYTE m_bFontSelected = 0;
  CString m_strCodePath;
  CString m_strFontPath;
  BYTE m_bBootArea = 0;
  DWORD m_dwFontAddress = 0;
  int m_nPortNumber = 0;
  // The connection to the handset, and the image it is sent.
  CThreadRX* m_pThreadRX = nullptr;  // the receive thread while connected; it deletes its own object
  CLogQueue m_logQueue;
  CImageFile m_imageFile;
  CSerialPort m_serialPort;
  // The download run, and the notice shown while a handset restarts into download mode.
  RunState m_run;
  CString m_strRefusal;  // why the last image was refused, for those who cannot see its box
  CModeChangeDlg m_modeChangeDlg;

  // Progress and log (download/run_log.cpp, download/run_progress.cpp).
  void AppendLogLine(COLORREF color, const CString& text);
  void AppendTick();
  void LogLine(int kind, const CString& text);
  void ResetProgress();
  void UpdateProgress();
  void UpdateElapsed();

  // The plan (download/run_plan.cpp).
  bool ValidateFontAddress();
  bool ClassifyImage();
  bool SelectNextImage();

  // The step machine (download/run_steps.cpp, download/run_timeouts.cpp). AdvanceRun answers
  // false when the run stopped instead (the image could no longer be read).
  bool HandleResponse();
  bool AdvanceRun();
  void ArmTimer(UINT id, UINT intervalMs);

  // Start, connection and stop (download/run_start.cpp, download/connection.cpp).
  const DownloadType* ChosenDownloadType() const { return DownloadTypeAt(m_nDownloadType); }
  void StartEmergencyDownload();
  void StartNormalDownload();
  bool EnsureConnected();
  bool ConnectHandset();
  void StopRun();
  void ResetRun();
  void EnableControls(bool enable) override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void InitControls();

  void OnSysCommand(UINT id, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnSelchangeDownloadType();
  void OnSelchangePort();
  void ListPort(int number);
  void ListDownloadTypes();
  void OnDeviceChange(UINT message, WPARAM wParam, LPARAM lParam);
  void OnBrowseCode();
  void OnBrowseFont();
  void OnTimer(UINT_PTR id);
  void OnDownload();
  void OnChangeBootArea();
  void OnLButtonDown(UINT flags, CPoint point);
  void OnChangeFontAddress();
  void OnContextMenu(CWnd* window, CPoint point);
  void OnClose();
  LRESULT OnLogQueued(WPARAM, LPARAM);
  LRESULT OnRxThreadEnded(WPARAM, LPARAM);
  LRESULT OnResponseReady(WPARAM, LPARAM);

  // The run's start and ends are told to its observers (download/run_events.cpp).
  void NotifyRunEnded(RunEnd end);

  DECLARE_MESSAGE_MAP()

 private:
  enum class ImageChoice { Cancelled, Refused, Chosen };
  ImageChoice BrowseImage(const char* filter, const char* folderValue, CString& path);

  // The view (ui/dialog_view.cpp).
  RunView& View() { return *this; }
  void ShowLogLine(COLORREF color, const CString& text) override;
  void ShowLogText(COLORREF color, const CString& text) override;
  void ClearLog() override;
  void ShowRunBar() override;
  void ShowIdleBar() override;
  void ShowPercent(int percent) override;
  void ShowAddress(const CString& text) override;
  void ShowElapsed(const CString& text) override;
  void ShowIdleTitle() override;
  void ShowModeChange() override;
  void HideModeChange() override;
  void ShowBox(const CString& text) override;
  void ShowAlert(const CString& text) override;
  bool AskReconnect() override;

  void SaveLogAs();
  void OpenRunReport();
  CString ElapsedText() const;
  // Where the operator is shown the area being sent begins.
  DWORD ShownBase() const;
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
  bool ClassifyCodeImage();
  bool ClassifyFontImage();
  bool PlanInsideFile();
  void RefuseHeader(DWORD offset, DWORD length);
  bool PrepareRun();
  // Beneath "USB 연결 상태를 확인하세요.": what keeps the port closed, when that is known.
  void ExplainOpenFailure();
  void OnModeChangeOver();

  void NotifyRunStarted();
  void NotifyLogText(const CString& text, COLORREF color, bool newLine);
  std::vector<RunObserver*> m_runObservers;

  // The command line's choices (ui/preselection.cpp).
  void ApplyPreselection();
  void SelectCodeImage(const CString& path);
  void SelectFontImage(const CString& path);
  Preselection m_preselection;
  const CRunRecorder* m_pRecorder = nullptr;
};
