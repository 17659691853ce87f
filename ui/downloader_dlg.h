// The main dialog: every control of the tool, the selections and settings behind them, and the
// download run they start, which shows itself in them.
#pragma once

#include "controls/balloon_tip.h"
#include "controls/icon_button.h"
#include "controls/percent_progress_ctrl.h"

#include "download/download_run.h"
#include "platform/user/controls.h"
#include "platform/user/dialog.h"
#include "platform/user/resources.h"
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
  void AddRunObserver(RunObserver* observer) { m_run.AddRunObserver(observer); }
  void RemoveRunObserver(RunObserver* observer) { m_run.RemoveRunObserver(observer); }
  void SetPreselection(const Preselection& preselection) { m_preselection = preselection; }
  // Where the log's menu finds the last run's report; and the trace every frame goes into.
  void ShowReportsOf(const CRunRecorder* recorder) { m_pRecorder = recorder; }
  void TraceFrames(CFrameTrace* trace) { m_run.SetTrace(trace); }

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
  int m_nPortNumber = 0;
  // The notice shown while a handset restarts into download mode, and the run itself.
  CModeChangeDlg m_modeChangeDlg;
  CDownloadRun m_run{*this, View()};

  const DownloadType* ChosenDownloadType() const { return DownloadTypeAt(m_nDownloadType); }
  // The operator's choices as the controls hold them.
  RunChoices Choices() const;
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
  void ShowNotice(const CString& text) override;
  bool AskReconnect() override;

  void SaveLogAs();
  void OpenRunReport();

  // The command line's choices (ui/preselection.cpp).
  void ApplyPreselection();
  void SelectCodeImage(const CString& path);
  void SelectFontImage(const CString& path);
  Preselection m_preselection;
  const CRunRecorder* m_pRecorder = nullptr;
};
