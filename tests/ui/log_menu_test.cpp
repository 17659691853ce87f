// The log's context menu as the operator uses it: a right click on the log, then Select All,
// Copy, or Save log as… into a text file.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QTextEdit>

#include "platform/user/menu.h"
#include "platform/user/window_backend.h"
#include "tests/download/run_fixture.h"
#include "tests/support/read_file.h"
#include "tests/support/widgets.h"

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
    dialog.AppendLogLine(COLOR_RUN, "Code Only Binary.");
    dialog.AppendLogLine(COLOR_RUN, "Flash Programming 중");
    dialog.AppendTick();

    RightClick("Select All");
    EXPECT_EQ(shown, (std::vector<std::string>{"Copy (grayed)", "Select All", "Save log as…"}));
    RightClick("Copy");
    EXPECT_EQ(shown, (std::vector<std::string>{"Copy", "Select All", "Save log as…"}));
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "\nCode Only Binary.\nFlash Programming 중  √");

    const std::string saved = files.File("log.txt");
    AnswerFileDialog(saved);
    RightClick("Save log as…");
    EXPECT_EQ(ReadWholeFile(saved), "Code Only Binary.\nFlash Programming 중  √\n");

    QApplication::clipboard()->setText("before");
    dialog.m_log.SetSel(0, 0);
    RightClick("");
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "before") << "dismissed: nothing is copied";
    long start = -1, end = -1;
    dialog.m_log.GetSel(start, end);
    EXPECT_EQ(end - start, 0) << "dismissed: nothing is selected";
  });
}

}  // namespace
}  // namespace testing_support
