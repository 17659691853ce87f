// Progress of a run: the run bar, the percentage in the title, the flash address and the
// elapsed time.
#include "platform/kernel/clock.h"
#include "ui/downloader_dlg.h"

namespace {

// The percentage last put into the bar and the title; it outlives a run.
int g_nLastShownPercent = 0;

}  // namespace

void CDownloaderDlg::ResetProgress() { View().ShowRunBar(); }

void CDownloaderDlg::UpdateProgress() {
  // The block index has already moved past the block just sent.
  const int percent =
      static_cast<int>(static_cast<double>(m_run.plan.blockIndex) / static_cast<double>(m_run.plan.blockCount) * 100.0);
  // Bar and title change only with the whole percentage.
  if (percent != g_nLastShownPercent || percent == 0) {
    View().ShowPercent(percent);
    g_nLastShownPercent = percent;
  }
  CString address;
  address.Format("Addr = 0x%lx", static_cast<unsigned long>(
                                     static_cast<DWORD>(m_run.plan.blockIndex) * kImageBlockDataSize + ShownBase()));
  View().ShowAddress(address);
}

CString CDownloaderDlg::ElapsedText() const {
  // Wall time since the run began, on the platform clock: processor time, which the C
  // library's clock() measures here, would stay near zero while the run waits for the handset.
  const DWORD elapsedMs = GetTickCount() - m_run.startTime;
  const DWORD seconds = elapsedMs / 1000;
  CString text;
  text.Format("Elapsed time : %d min %d sec", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
  return text;
}

void CDownloaderDlg::UpdateElapsed() { View().ShowElapsed(ElapsedText()); }
