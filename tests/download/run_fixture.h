// A download run as a technician makes it, against the handset stand-in on a pseudo-terminal:
// a private settings hive, port map and drive C, a manual clock that only the test moves and
// images written for the test (HandsetBench); and the main dialog with the test as its operator
// (DownloadRun). Message boxes are recorded and answered OK; other modal dialogs follow the script.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/clock.h"
#include "platform/user/app.h"
#include "tests/support/bytes.h"
#include "tests/support/images.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/modal_script.h"
#include "tests/support/pty_port.h"
#include "tests/support/pump.h"
#include "tests/support/scoped_hive.h"
#include "tests/support/temp_dir.h"
#include "tools/handset-sim/simulator.h"
#include "ui/downloader_dlg.h"

// Found by the test framework beside RunEnd itself.
inline void PrintTo(RunEnd end, std::ostream* out) { *out << RunEndText(end); }

namespace testing_support {

// One line of the log control as the operator sees it.
struct LogLine {
  std::string text;  // without the tick
  COLORREF color;    // of the line's first character
  bool ticked;       // ends with the tick mark in its own colour
  bool operator==(const LogLine& other) const {
    return text == other.text && color == other.color && ticked == other.ticked;
  }
};
std::ostream& operator<<(std::ostream& out, const LogLine& line);

// Follows the runs as the service records and batch runs do.
struct ObservedRuns : RunObserver {
  void OnRunStarted(const RunStart& start) override {
    starts.push_back(start);
    text.clear();
  }
  void OnLogText(const CString& added, COLORREF, bool newLine) override { text += (newLine ? "\n" : "") + added.str(); }
  void OnRunEnded(RunEnd end, int portNumber, const RunAccount&) override {
    ends.push_back(end);
    endPorts.push_back(portNumber);
  }

  std::vector<RunStart> starts;
  std::vector<RunEnd> ends;
  std::vector<int> endPorts;
  std::string text;  // since the last start, as the log control received it
};

class HandsetBench : public ::testing::Test {
 protected:
  static constexpr unsigned kPort = 3;

  HandsetBench();
  ~HandsetBench() override;

  std::string WriteImage(const std::string& name, const Bytes& bytes) const;
  // Starts the handset on kPort, in download mode unless the config says otherwise.
  handset_sim::Simulator& StartHandset(handset_sim::Config config = {});
  // Settings read when a run is set up.
  void UseNormalType() const;
  // The NORMAL type, and a handset in its normal software that restarts into download mode on
  // COM `returnPort` at once.
  void StartNormalHandsetReturningOn(unsigned returnPort);

  // Dispatch what arrives until the handset has done so much (see tests/support/pump.h).
  bool PumpUntilBox(const std::string& prefix, int timeoutMs = 10000);
  bool PumpUntilRequests(std::uint64_t count);
  // Moves the clock on and dispatches what became due.
  void Elapse(DWORD ms);

  std::vector<std::string> BoxTexts() const;
  bool HasBox(const std::string& text) const;
  // What the handset holds at `offset`, `count` bytes (empty if it holds less).
  Bytes FlashRange(std::size_t offset, std::size_t count) const;

  platform::ManualClock clock;
  ScopedHive hive;
  ScopedPortMap ports;
  TempDir files;
  ScopedDriveC driveC{files.Path()};
  MessageBoxRecorder boxes;
  ModalScript script;
  std::unique_ptr<handset_sim::Simulator> handset;
  ObservedRuns observed;
};

class DownloadRun : public HandsetBench {
 protected:
  DownloadRun();

  // The operator's choices through the Code and Font buttons and the file dialog.
  void AnswerFileDialog(const std::string& path);
  void SelectCode(const std::string& path);
  void SelectFont(const std::string& path, const char* address);
  void PressDownload();

  // Runs the main dialog with `operate` as the operator, and closes it afterwards.
  void RunDialog(const std::function<void()>& operate);
  // Requests `first` to `last` go unanswered, each waited out on the retry timer; the operator
  // answers the reconnection question that follows the last with OK. False if a request never came.
  bool SilenceUntilReconnection(std::uint64_t first, std::uint64_t last);

  std::vector<LogLine> Log() const;
  bool LogHas(const LogLine& line) const;
  bool LogIsBoldTenPoint() const;
  bool Enabled(int id) const;
  bool Visible(int id) const;
  CString Title() const;

  CDownloaderDlg dialog;
  CWinApp app;  // with the dialog as its main window, as the program has it
};

}  // namespace testing_support
