// The log's context menu as the operator uses it: a right click on the log, then Select All,
// Copy, Save log as… into a text file, or Run report… in the desktop's browser.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QTextEdit>
#include <filesystem>
#include <fstream>

#include "platform/user/menu.h"
#include "platform/user/window_backend.h"
#include "tests/download/run_fixture.h"
#include "tests/support/read_file.h"
#include "tests/support/scoped_env.h"
#include "tests/support/widgets.h"
#include "ui/run_recorder.h"

namespace testing_support {
namespace {

class LogMenu : public DownloadRun {
 protected:
  LogMenu()
      : m_previous(platform::SetPopupMenuHandler([this](const platform::MenuData& menu) {
          shown.clear();
          UINT chosen = 0;
          for (const platform::MenuItem& item : menu.items) {
            if (item.flags & MF_SEPARATOR) continue;
            shown.push_back(item.text + (item.flags & MF_GRAYED ? " (grayed)" : ""));
            if (item.text == choice) chosen = static_cast<UINT>(item.id);
          }
          return chosen;
        })) {}
  ~LogMenu() override { platform::SetPopupMenuHandler(m_previous); }

  // A right click in the middle of the log, choosing `item`.
  void RightClick(const std::string& item) {
    choice = item;
    auto* edit = WidgetOf<QTextEdit>(dialog.m_log);
    QWidget* viewport = edit->viewport();
    const QPoint at = viewport->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
  }

  std::string choice;
  std::vector<std::string> shown;

 private:
  platform::PopupMenuHandler m_previous;
};

TEST_F(LogMenu, CopiesSelectsAndSavesTheLogAsText) {
  RunDialog([&] {
    dialog.m_run.AppendLogLine(COLOR_RUN, "Code Only Binary.");
    dialog.m_run.AppendLogLine(COLOR_RUN, "Flash Programming 중");
    dialog.m_run.AppendTick();

    RightClick("Select All");
    EXPECT_EQ(shown, (std::vector<std::string>{"Copy (grayed)", "Select All", "Save log as…", "Run report… (grayed)"}));
    RightClick("Copy");
    EXPECT_EQ(shown, (std::vector<std::string>{"Copy", "Select All", "Save log as…", "Run report… (grayed)"}));
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "\nCode Only Binary.\nFlash Programming 중  √");

    const std::string saved = files.File("log.txt");
    AnswerFileDialog(saved);
    RightClick("Save log as…");
    EXPECT_EQ(ReadWholeFile(saved), "Code Only Binary.\nFlash Programming 중  √\n");

    QApplication::clipboard()->setText("before");
    dialog.m_log.SetSel(0, 0);
    RightClick("");
    EXPECT_EQ(shown.size(), 4u);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "before") << "dismissed: nothing is copied";
    long start = -1, end = -1;
    dialog.m_log.GetSel(start, end);
    EXPECT_EQ(end - start, 0) << "dismissed: nothing is selected";
  });
}

// The last run's report goes to the desktop's opener, found on PATH; without one the operator
// is told where the report is.
TEST_F(LogMenu, OpensTheLastRunsReportWithTheDesktopsOpener) {
  StartHandset();
  CRunRecorder recorder{RecordStore(files.File("records"))};
  dialog.AddRunObserver(&recorder);
  dialog.ShowReportsOf(&recorder);
  const std::string opened = files.File("opened");
  const std::string opener = files.File("bin/xdg-open");
  std::filesystem::create_directories(files.File("bin"));
  std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << opened << ".tmp' && /bin/mv '" << opened << ".tmp' '"
                        << opened << "'\n";
  std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
  RunDialog([&] {
    SelectCode(WriteImage("PHONE.bin", MakeImage({"CODE", 8192})));
    PressDownload();
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
    {
      ScopedEnv path("PATH", files.File("bin"));
      RightClick("Run report…");
      EXPECT_EQ(shown.back(), "Run report…");
      ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(opened); }, 5000));
      EXPECT_EQ(ReadWholeFile(opened), recorder.LastReportPath());
    }
    // An opener that cannot start a browser, and none at all.
    std::filesystem::create_directories(files.File("failing"));
    std::ofstream(files.File("failing/xdg-open")) << "#!/bin/sh\nexit 4\n";
    std::filesystem::permissions(files.File("failing/xdg-open"), std::filesystem::perms::owner_all);
    for (const char* folder : {"failing", "none"}) {
      ScopedEnv path("PATH", files.File(folder));
      boxes.boxes.clear();
      RightClick("Run report…");
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No browser could be started to show the run report.\n"
                                                     "The report is " +
                                                     recorder.LastReportPath() + "."})
          << folder;
    }
    std::filesystem::remove(recorder.LastReportPath());
    RightClick("Run report…");
    EXPECT_EQ(BoxTexts().back(), "The run report " + recorder.LastReportPath() + " is not there any more.");
  });
  dialog.RemoveRunObserver(&recorder);
}

TEST_F(DownloadRun, ANewLineLeavesTextTheOperatorSelectedInItsColour) {
  RunDialog([&] {
    dialog.m_run.AppendLogLine(COLOR_ERROR, "old error");
    dialog.m_log.SetSel(1, 10);
    dialog.m_run.AppendLogLine(COLOR_RUN, "new line");
    EXPECT_EQ(Log(), (std::vector<LogLine>{
                         {"", COLOR_INFO, false}, {"old error", COLOR_ERROR, false}, {"new line", COLOR_RUN, false}}));
  });
}

}  // namespace
}  // namespace testing_support
