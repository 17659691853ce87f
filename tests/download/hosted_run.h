// A run with no window at all: a bare window handle hosts it (hands it its messages and timers),
// and a view records what the run shows, over the same handset stand-in and seams as the
// dialog's runs.
#pragma once

#include <string>
#include <vector>

#include "download/download_run.h"
#include "link/link_messages.h"
#include "tests/download/run_fixture.h"

namespace testing_support {

class RecordingView : public RunView {
 public:
  void ShowLogLine(COLORREF color, const CString& text) override { log.push_back({text.str(), color, false}); }
  void ShowLogText(COLORREF color, const CString&) override {
    if (color == COLOR_TICK && !log.empty()) log.back().ticked = true;
  }
  void ClearLog() override { log.clear(); }
  void ShowRunBar() override { shown.emplace_back("run bar"); }
  void ShowIdleBar() override { shown.emplace_back("idle bar"); }
  void ShowPercent(int percent) override { shown.push_back(std::to_string(percent) + "%"); }
  void ShowAddress(const CString& text) override { address = text.str(); }
  void ShowElapsed(const CString& text) override { elapsed = text.str(); }
  void ShowIdleTitle() override { shown.emplace_back("idle title"); }
  void EnableControls(bool enable) override { controlsEnabled = enable; }
  void ShowModeChange() override { modeChange = true; }
  void HideModeChange() override { modeChange = false; }
  void ShowBox(const CString& text) override { boxes.push_back(text.str()); }
  void ShowAlert(const CString& text) override { boxes.push_back(text.str()); }
  void ShowNotice(const CString& text) override { boxes.push_back(text.str()); }
  bool AskReconnect() override { return reconnect; }

  std::vector<LogLine> log;
  std::vector<std::string> shown;  // the bars, the percentages and the idle title, in order
  std::vector<std::string> boxes;
  std::string address;
  std::string elapsed;
  bool controlsEnabled = true;
  bool modeChange = false;
  bool reconnect = true;  // the answer to the reconnection question
};

class RunHost : public CWnd {
 public:
  RunHost() { CreateHandle(); }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_RESPONSE_READY: m_run->OnResponseReady(); return TRUE;
      case WM_LOG_QUEUED: m_run->OnLogQueued(); return TRUE;
      case WM_RX_THREAD_ENDED: m_run->OnRxThreadEnded(); return TRUE;
      case WM_TIMER: m_run->OnTimer(static_cast<UINT>(wParam)); return 0;
      default: return CWnd::WindowProc(message, wParam, lParam);
    }
  }

  CDownloadRun* m_run = nullptr;
};

class HostedRun : public HandsetBench {
 protected:
  HostedRun() {
    host.m_run = &run;
    run.AddRunObserver(&observed);
  }
  ~HostedRun() override { run.OnClose(); }

  // The choices of a Download with a code image.
  RunChoices CodeChoices(const std::string& path) const {
    RunChoices choices;
    choices.portNumber = kPort;
    choices.downloadType = DownloadTypeNamed("emergency");
    choices.codeSelected = true;
    choices.codePath = path.c_str();
    return choices;
  }

  RecordingView view;
  RunHost host;
  CDownloadRun run{host, view};
};

}  // namespace testing_support
