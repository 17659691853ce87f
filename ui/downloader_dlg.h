// The main dialog: every control of the tool, the selections and settings behind them, and
// the serial port, log queue and image reader that a download run uses.
#pragma once

#include "image/image_file.h"
#include "link/log_queue.h"
#include "platform/controls.h"
#include "platform/dialog.h"
#include "platform/resources.h"
#include "serial/serial_port.h"
#include "serial/thread_rx.h"
#include "ui/aux_dialogs.h"

// The title the dialog shows when no download is under way.
extern const char* const kWindowTitle;

enum DownloadType { DOWNLOAD_EMERGENCY = 0, DOWNLOAD_NORMAL = 1 };

class CDownloaderDlg : public CDialog {
 public:
  explicit CDownloaderDlg(CWnd* parent = nullptr);

  void LoadSettings();
  void UpdateDownloadButton();
  void EnableControls(bool enable);

  BOOL OnInitDialog() override;
  BOOL PreTranslateMessage(MSG* msg) override;

  // Controls bound by data exchange.
  CButton m_btnDownload;
  CProgressCtrl m_idleBar;
  CProgressCtrl m_runBar;
  CRichEditCtrl m_log;
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
  CString m_strAutoDetect;
  CString m_strVersion;
  // The receive thread while connected; it deletes its own object.
  CThreadRX* m_pThreadRX = nullptr;
  CLogQueue m_logQueue;
  // The operator's selection.
  BYTE m_bCodeSelected = 0;
  BYTE m_bFontSelected = 0;
  CString m_strCodePath;
  CString m_strFontPath;
  BYTE m_bBootArea = 0;
  DWORD m_dwFontAddress = 0;
  int m_nPortNumber = 0;
  int m_nCurrentImage = 0;
  CHARFORMAT m_logFormat;
  CImageFile m_imageFile;
  CSerialPort m_serialPort;
  // The download run's state.
  int m_nDownloadType = DOWNLOAD_EMERGENCY;
  BOOL m_bReconnecting = FALSE;
  CModeChangeDlg m_modeChangeDlg;
  HICON m_hIcon;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void InitControls();

  void OnSysCommand(UINT id, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnSelchangeDownloadType();
  void OnLButtonDown(UINT flags, CPoint point);
  void OnChangeFontAddress();
  void OnClose();

  DECLARE_MESSAGE_MAP()
};
