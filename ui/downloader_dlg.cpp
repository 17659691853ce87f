#include "ui/downloader_dlg.h"

#include "link/link_messages.h"
#include "platform/gdi/gdi.h"
#include "platform/user/device_change.h"
#include "platform/user/menu.h"
#include "platform/user/messages.h"
#include "resources/resource.h"
#include "ui/settings.h"

const char* const kWindowTitle = "Q517 Flashgate (ZP36)";

namespace {

CHARFORMAT LogFormat() {
  CHARFORMAT format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR | CFM_BOLD;
  format.dwEffects = CFE_BOLD;
  format.yHeight = 200;
  return format;
}

}  // namespace

BEGIN_MESSAGE_MAP(CDownloaderDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_CBN_SELCHANGE(IDC_DOWNLOAD_TYPE, OnSelchangeDownloadType)
ON_CBN_SELCHANGE(IDC_PORT, OnSelchangePort)
ON_BN_CLICKED(IDC_CODE, OnBrowseCode)
ON_BN_CLICKED(IDC_FONT, OnBrowseFont)
ON_WM_TIMER()
ON_BN_CLICKED(IDC_DOWNLOAD, OnDownload)
ON_BN_CLICKED(IDC_CHANGE_BOOT_AREA, OnChangeBootArea)
ON_WM_LBUTTONDOWN()
ON_EN_CHANGE(IDC_FONT_ADDRESS, OnChangeFontAddress)
ON_WM_CONTEXTMENU()
ON_WM_CLOSE()
ON_MESSAGE(WM_LOG_QUEUED, OnLogQueued)
ON_MESSAGE(WM_RX_THREAD_ENDED, OnRxThreadEnded)
ON_MESSAGE(WM_RESPONSE_READY, OnResponseReady)
END_MESSAGE_MAP()

CDownloaderDlg::CDownloaderDlg(CWnd* parent)
    : CDialog(IDD_DOWNLOADER_DIALOG, parent), m_logFormat(LogFormat()), m_hIcon(AfxLoadIcon(IDR_MAINFRAME)) {}

void CDownloaderDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_DOWNLOAD, m_btnDownload);
  DDX_Control(pDX, IDC_IDLE_BAR, m_idleBar);
  DDX_Control(pDX, IDC_RUN_BAR, m_runBar);
  DDX_Control(pDX, IDC_LOG, m_log);
  DDX_CBIndex(pDX, IDC_PORT, m_nPortIndex);
  DDX_Check(pDX, IDC_CODE, m_nCodeCheck);
  DDX_Check(pDX, IDC_FONT, m_nFontCheck);
  DDX_Text(pDX, IDC_CODE_PATH, m_strCodePathText);
  DDX_Text(pDX, IDC_FONT_PATH, m_strFontPathText);
  DDX_Text(pDX, IDC_FONT_ADDRESS, m_strFontAddress);
  DDX_Text(pDX, IDC_ADDRESS, m_strAddress);
  DDX_Text(pDX, IDC_ELAPSED, m_strElapsed);
  DDX_Check(pDX, IDC_CHANGE_BOOT_AREA, m_nBootAreaCheck);
  DDX_Text(pDX, IDC_AUTO_DETECT, m_strAutoDetect);
  DDX_CBIndex(pDX, IDC_DOWNLOAD_TYPE, m_nDownloadType);
  DDX_Text(pDX, IDC_VERSION, m_strVersion);
}

BOOL CDownloaderDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
    CString about;
    LoadResourceString(about, IDS_ABOUTBOX);
    if (!about.IsEmpty()) {
      systemMenu->AppendMenu(MF_SEPARATOR);
      systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  LoadSettings();
  InitControls();
  ListPort(m_nPortNumber);
  // Ports that arrive would go unannounced, and a handset plugged in would get no port.
  const std::string failure = platform::DeviceNotificationsFailure();
  if (!failure.empty()) m_run.AppendLogLine(COLOR_ERROR, failure.c_str());
  UpdateData(FALSE);
  ApplyPreselection();
  return TRUE;
}

void CDownloaderDlg::InitControls() {
  m_btnDownload.SetIcon(IDR_MAINFRAME, 30, 30);
  m_btnDownload.SetImageMargin(20);
  m_btnDownload.SetImageTextGap(-10);

  GetDlgItem(IDC_FONT_ADDRESS)->EnableWindow(FALSE);
  GetDlgItem(IDC_CHANGE_BOOT_AREA)->EnableWindow(FALSE);
  GetDlgItem(IDC_AUTO_DETECT)->ShowWindow(SW_HIDE);
  ListDownloadTypes();

  m_balloon.m_nWidth = 150;
  m_balloon.m_crFill = RGB(213, 253, 224);
  m_balloon.m_crFrame = RGB(131, 0, 250);
  m_balloon.Create(this);
  m_balloon.AddTool(GetDlgItem(IDC_PORT), "AUTO DETECT가 안 되면 직접 입력해주셔야 합니다.", 0);

  SetWindowText(kWindowTitle);
  UpdateDownloadButton();
}

void CDownloaderDlg::LoadSettings() {
  m_bCodeSelected = 0;
  m_bFontSelected = 0;
  m_strCodePath.Empty();
  m_strFontPath.Empty();
  m_bBootArea = 0;

  CString why;
  const int port = StoredPortNumber(&why);
  if (!why.IsEmpty()) m_run.AppendLogLine(COLOR_ERROR, why);
  m_nPortIndex = port - 1;
  m_nPortNumber = port;

  // A value that is no type selects no item.
  m_nDownloadType = ComboIndexOf(StoredDownloadType());
}

void CDownloaderDlg::UpdateDownloadButton() {
  GetDlgItem(IDC_DOWNLOAD)->EnableWindow(m_bCodeSelected || m_bFontSelected);
}

BOOL CDownloaderDlg::PreTranslateMessage(MSG* msg) {
  m_balloon.RelayEvent(msg);
  // Neither key may close the dialog or press a button.
  if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) return TRUE;
  return CDialog::PreTranslateMessage(msg);
}

void CDownloaderDlg::OnSysCommand(UINT id, LPARAM lParam) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else {
    CDialog::OnSysCommand(id, lParam);
  }
}

void CDownloaderDlg::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  CRect client;
  GetClientRect(&client);
  const int x = (client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CDownloaderDlg::OnQueryDragIcon() { return m_hIcon; }

void CDownloaderDlg::ListDownloadTypes() {
  // Each type is an item in the table's order, so that an item's place is its row; the template
  // may list the first ones already.
  CWnd* combo = GetDlgItem(IDC_DOWNLOAD_TYPE);
  const std::vector<DownloadType>& types = DownloadTypes();
  for (auto count = static_cast<std::size_t>(combo->SendMessage(CB_GETCOUNT)); count < types.size(); ++count) {
    combo->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(types[count].comboText));
  }
}

void CDownloaderDlg::OnSelchangeDownloadType() {
  UpdateData(TRUE);
  if (const DownloadType* type = ChosenDownloadType()) WriteRegInt(kDownloadTypeValue, type->storedValue);
}

void CDownloaderDlg::OnLButtonDown(UINT flags, CPoint point) {
  CDialog::OnLButtonDown(flags, point);
  // A press on any free spot of the dialog drags the window, as a press on its caption does.
  PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y)));
}

void CDownloaderDlg::OnChangeFontAddress() { UpdateData(TRUE); }

RunChoices CDownloaderDlg::Choices() const {
  RunChoices choices;
  choices.portNumber = m_nPortNumber;
  choices.downloadType = ChosenDownloadType();
  choices.codeSelected = m_bCodeSelected != 0;
  choices.fontSelected = m_bFontSelected != 0;
  choices.codePath = m_strCodePath;
  choices.fontPath = m_strFontPath;
  choices.fontAddress = m_strFontAddress;
  choices.bootArea = m_bBootArea != 0;
  return choices;
}

// The run moves with these: Download, its timers, and what its receive thread posts.
void CDownloaderDlg::OnDownload() {
  UpdateData(TRUE);
  m_run.OnDownload(Choices());
}

void CDownloaderDlg::OnTimer(UINT_PTR id) { m_run.OnTimer(static_cast<UINT>(id)); }

LRESULT CDownloaderDlg::OnLogQueued(WPARAM, LPARAM) {
  m_run.OnLogQueued();
  return TRUE;
}

LRESULT CDownloaderDlg::OnRxThreadEnded(WPARAM, LPARAM) {
  m_run.OnRxThreadEnded();
  return TRUE;
}

LRESULT CDownloaderDlg::OnResponseReady(WPARAM, LPARAM) {
  m_run.OnResponseReady();
  return TRUE;
}

void CDownloaderDlg::OnClose() {
  m_run.OnClose();
  CDialog::OnOK();
}
