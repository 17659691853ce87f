// Progress of a run: the run bar, the percentage in the title, the flash address and the
// elapsed time.
#include "download/download_run.h"
#include "platform/kernel/clock.h"

namespace {

// The percentage last put into the bar and the title; it outlives a run.
int g_nLastShownPercent = 0;

// The share of an area sent once `blockIndex` of its `blockCount` blocks are out, in whole percent.
int ProgressPercent(int blockIndex, int blockCount) {
  return static_cast<int>(static_cast<double>(blockIndex) / static_cast<double>(blockCount) * 100.0);
}

}  // namespace

CString ElapsedText(DWORD elapsedMs) {
  const DWORD seconds = elapsedMs / 1000;
  CString text;
  text.Format("Elapsed time : %d min %d sec", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
  return text;
}

void CDownloadRun::ResetProgress() { View().ShowRunBar(); }

void CDownloadRun::UpdateProgress() {
  // The block index has already moved past the block just sent.
  const int percent = ProgressPercent(m_run.plan.blockIndex, m_run.plan.blockCount);
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

// Wall time since the run began, on the platform clock: processor time, which the C library's
// clock() measures here, would stay near zero while the run waits for the handset.
void CDownloadRun::UpdateElapsed() { View().ShowElapsed(ElapsedText(GetTickCount() - m_run.startTime)); }
