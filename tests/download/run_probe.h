// A look inside a run for the rules that a whole download cannot reach in one step: its state
// set as a run in the middle of an area has it, and the choices of a Download not pressed.
#pragma once

#include "download/download_run.h"

class RunProbe {
 public:
  explicit RunProbe(CDownloadRun& run) : m_run(run) {}

  RunState& State() { return m_run.m_run; }
  void Choose(const RunChoices& choices) { m_run.m_choices = choices; }
  DWORD FontAddress() const { return m_run.m_dwFontAddress; }
  HANDLE PortHandle() const { return m_run.m_serialPort.GetHandle(); }
  // A receive thread that was never stopped, as far as the run can tell.
  void LeaveReceiveThread(CThreadRX* thread) { m_run.m_pThreadRX = thread; }

  void ResetProgress() { m_run.ResetProgress(); }
  void UpdateProgress() { m_run.UpdateProgress(); }
  void UpdateElapsed() { m_run.UpdateElapsed(); }

 private:
  CDownloadRun& m_run;
};
