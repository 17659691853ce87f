// The port the run opens: chosen in the combo, or taken from the system's announcement of a
// port that arrives. A detected port is shown in the read-only box that replaces the combo.
#include <cstdlib>
#include <cstring>

#include "platform/kernel/com_port.h"
#include "platform/user/device_change.h"
#include "resources/resource.h"
#include "ui/downloader_dlg.h"
#include "ui/settings.h"

LRESULT CDownloaderDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  OnDeviceChange(message, wParam, lParam);
  return CDialog::WindowProc(message, wParam, lParam);
}

void CDownloaderDlg::OnSelchangePort() {
  UpdateData(TRUE);
  m_nPortNumber = m_nPortIndex + 1;
  WriteRegInt(kPortValue, m_nPortNumber);
}

void CDownloaderDlg::ListPort(int number) {
  // The list offers COM1 to COM20; a port beyond them, stored or given on the command line, is
  // added with those before it, so that an entry's place stays its number.
  CWnd* combo = GetDlgItem(IDC_PORT);
  for (int count = static_cast<int>(combo->SendMessage(CB_GETCOUNT)); count < number; ++count) {
    const std::string name = platform::ComPortName(count + 1);
    combo->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
}

void CDownloaderDlg::OnDeviceChange(UINT message, WPARAM wParam, LPARAM lParam) {
  // While the operator is asked whether to reconnect, the ports coming and going are the run's.
  if (m_run.Reconnecting() || message != WM_DEVICECHANGE) return;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
  if (!header || header->dbch_devicetype != DBT_DEVTYP_PORT) return;
  const char* name = reinterpret_cast<const DEV_BROADCAST_PORT*>(header)->dbcp_name;

  if (wParam == DBT_DEVICEARRIVAL) {
    // A name that is not a COM port's gives 0.
    const int number = static_cast<int>(platform::ComPortNumber(name));
    m_nPortNumber = number;
    m_run.FollowPort(number);
    if (number > 2) {
      m_nPortIndex = number - 1;
      WriteRegInt(kPortValue, number);
      m_strAutoDetect = CString("Auto Detect [" + platform::ComPortName(number) + "]");
      GetDlgItem(IDC_AUTO_DETECT)->ShowWindow(SW_SHOW);
      GetDlgItem(IDC_PORT)->ShowWindow(SW_HIDE);
    } else {
      GetDlgItem(IDC_PORT)->ShowWindow(SW_SHOW);
    }
    UpdateData(FALSE);
  } else if (wParam == DBT_DEVICEREMOVECOMPLETE) {
    m_strAutoDetect = "Auto Detect [Disconnect]";
    UpdateData(FALSE);
  }
}
