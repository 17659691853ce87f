#include "tests/download/run_fixture.h"

#include <QTextBlock>
#include <QTextEdit>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <thread>

#include "link/commands.h"
#include "platform/user/file_dialog.h"
#include "platform/user/messages.h"
#include "resources/resource.h"
#include "serial/thread_rx.h"
#include "tests/support/widgets.h"
#include "ui/settings.h"

namespace testing_support {
namespace {

constexpr int kStillOpen = 4242;
constexpr char kTick[] = "  \xE2\x88\x9A";

const QTextDocument& LogDocument(const CRichEditCtrl& log) { return *WidgetOf<QTextEdit>(log)->document(); }

COLORREF ColorOf(const QTextCharFormat& format) {
  const QColor color = format.foreground().color();
  return RGB(static_cast<BYTE>(color.red()), static_cast<BYTE>(color.green()), static_cast<BYTE>(color.blue()));
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const LogLine& line) {
  return out << '"' << line.text << "\" colour " << std::hex << line.color << std::dec
             << (line.ticked ? " with tick" : "");
}

HandsetBench::HandsetBench() {
  platform::PumpPostedMessages();
  // A host pause lets the handset take in what was sent, as real time would: a port closed
  // right after a write can otherwise discard bytes the kernel still carries between the ends.
  clock.OnSleep([this, dialogThread = std::this_thread::get_id()] {
    if (handset && std::this_thread::get_id() == dialogThread) handset->WaitForInputTaken(std::chrono::seconds(2));
  });
  platform::UseClock(&clock);
  WriteRegInt(kPortValue, static_cast<int>(kPort));
}

HandsetBench::~HandsetBench() {
  EXPECT_EQ(script.unexpected, 0) << "a dialog the test did not expect";
  EXPECT_TRUE(script.Done()) << "a dialog the test expected never came";
  platform::UseClock(nullptr);
}

std::string HandsetBench::WriteImage(const std::string& name, const Bytes& bytes) const {
  const std::string path = files.File(name);
  WriteBytes(path, bytes);
  return path;
}

handset_sim::Simulator& HandsetBench::StartHandset(handset_sim::Config config) {
  config.port = kPort;
  config.portsDir = ports.Directory();
  handset = std::make_unique<handset_sim::Simulator>(std::move(config));
  std::string error;
  EXPECT_TRUE(handset->Start(&error)) << error;
  return *handset;
}

void HandsetBench::UseNormalType() const { WriteRegInt(kDownloadTypeValue, DownloadTypeNamed("normal")->storedValue); }

void HandsetBench::StartNormalHandsetReturningOn(unsigned returnPort) {
  UseNormalType();
  handset_sim::Config config;
  config.mode = handset_sim::Mode::Normal;
  config.returnPort = returnPort;
  config.returnDelay = std::chrono::milliseconds(0);
  StartHandset(config);
}

DownloadRun::DownloadRun() {
  app.m_pMainWnd = &dialog;
  dialog.AddRunObserver(&observed);
}

void DownloadRun::AnswerFileDialog(const std::string& path) {
  script.Then([path](CDialog& dialog) {
    CFileDialog& files = dynamic_cast<CFileDialog&>(dialog);
    std::snprintf(files.m_ofn.lpstrFile, files.m_ofn.nMaxFile, "%s", path.c_str());
    return IDOK;
  });
}

void DownloadRun::SelectCode(const std::string& path) {
  if (dialog.m_bCodeSelected && dialog.m_strCodePath == path.c_str()) return;
  CWnd* code = dialog.GetDlgItem(IDC_CODE);
  if (dialog.m_bCodeSelected) code->SendMessage(BM_CLICK);  // off first, to choose anew
  AnswerFileDialog(path);
  code->SendMessage(BM_CLICK);
  EXPECT_EQ(dialog.m_strCodePath, path.c_str());
}

void DownloadRun::SelectFont(const std::string& path, const char* address) {
  if (!dialog.m_bFontSelected || dialog.m_strFontPath != path.c_str()) {
    // The Font button is usable once any earlier run or connection attempt has ended.
    if (!Enabled(IDC_FONT)) dialog.EnableControls(true);
    CWnd* font = dialog.GetDlgItem(IDC_FONT);
    if (dialog.m_bFontSelected) font->SendMessage(BM_CLICK);
    AnswerFileDialog(path);
    font->SendMessage(BM_CLICK);
    EXPECT_EQ(dialog.m_strFontPath, path.c_str());
  }
  // As typed: every change of the text reaches the member.
  dialog.GetDlgItem(IDC_FONT_ADDRESS)->SetWindowText(address);
}

void DownloadRun::PressDownload() {
  ASSERT_TRUE(Enabled(IDC_DOWNLOAD));
  dialog.GetDlgItem(IDC_DOWNLOAD)->SendMessage(BM_CLICK);
}

void DownloadRun::RunDialog(const std::function<void()>& operate) {
  script.Then([&](CDialog&) {
    operate();
    // Those who follow the run saw what the operator saw since it started.
    CString shown;
    dialog.m_log.GetWindowText(shown);
    EXPECT_TRUE(EndsWith(shown.str(), observed.text)) << "log: " << shown.str() << "\nobserved: " << observed.text;
    if (dialog.GetSafeHwnd()) dialog.SendMessage(WM_CLOSE);
    return kStillOpen;
  });
  dialog.DoModal();
  EXPECT_FALSE(g_bThreadActive) << "the receive thread outlived the dialog";
}

bool HandsetBench::PumpUntilBox(const std::string& prefix, int timeoutMs) {
  return PumpUntil(
      [&] {
        for (const std::string& text : BoxTexts()) {
          if (text.compare(0, prefix.size(), prefix) == 0) return true;
        }
        return false;
      },
      timeoutMs);
}

bool HandsetBench::PumpUntilRequests(std::uint64_t count) {
  if (!PumpUntil([&] { return handset->WaitForRequests(count, std::chrono::milliseconds(0)); })) return false;
  // What the handset answered to the last of them, if anything, is handled too.
  platform::WaitForPostedMessage(0);
  platform::PumpPostedMessages();
  return true;
}

void HandsetBench::Elapse(DWORD ms) {
  clock.Advance(ms);
  platform::PumpPostedMessages();
}

bool DownloadRun::SilenceUntilReconnection(std::uint64_t first, std::uint64_t last) {
  for (std::uint64_t request = first; request <= last; ++request) {
    if (!PumpUntilRequests(request)) return false;
    if (request == last) {
      script.Then([](CDialog&) {
        // The old receive thread's end arrives while the question is open.
        platform::PumpPostedMessages();
        return IDOK;
      });
    }
    Elapse(kRetryTimeoutMs);
  }
  return true;
}

std::vector<LogLine> DownloadRun::Log() const {
  std::vector<LogLine> lines;
  for (QTextBlock block = LogDocument(dialog.m_log).begin(); block.isValid(); block = block.next()) {
    LogLine line{block.text().toStdString(), 0, false};
    if (block.begin() != block.end()) line.color = ColorOf(block.begin().fragment().charFormat());
    const std::string tick = kTick;
    if (line.text.size() >= tick.size() && line.text.compare(line.text.size() - tick.size(), tick.size(), tick) == 0) {
      QTextBlock::iterator last = block.begin();
      for (QTextBlock::iterator it = block.begin(); it != block.end(); ++it) last = it;
      line.ticked = ColorOf(last.fragment().charFormat()) == COLOR_TICK;
      line.text.resize(line.text.size() - tick.size());
    }
    lines.push_back(line);
  }
  return lines;
}

bool DownloadRun::LogIsBoldTenPoint() const {
  for (QTextBlock block = LogDocument(dialog.m_log).begin(); block.isValid(); block = block.next()) {
    for (QTextBlock::iterator it = block.begin(); it != block.end(); ++it) {
      const QTextCharFormat format = it.fragment().charFormat();
      if (format.fontWeight() != QFont::Bold || format.fontPointSize() != 10.0) return false;
    }
  }
  return true;
}

bool DownloadRun::LogHas(const LogLine& line) const {
  for (const LogLine& shown : Log()) {
    if (shown == line) return true;
  }
  return false;
}

std::vector<std::string> HandsetBench::BoxTexts() const {
  std::vector<std::string> texts;
  for (const platform::MessageBoxRequest& box : boxes.boxes) texts.push_back(box.text.str());
  return texts;
}

bool HandsetBench::HasBox(const std::string& text) const {
  for (const std::string& shown : BoxTexts()) {
    if (shown == text) return true;
  }
  return false;
}

bool DownloadRun::Enabled(int id) const { return dialog.GetDlgItem(id)->IsWindowEnabled() != FALSE; }

bool DownloadRun::Visible(int id) const { return dialog.GetDlgItem(id)->IsWindowVisible() != FALSE; }

CString DownloadRun::Title() const {
  CString title;
  dialog.GetWindowText(title);
  return title;
}

Bytes HandsetBench::FlashRange(std::size_t offset, std::size_t count) const {
  const std::vector<std::uint8_t> flash = handset->Flash();
  if (offset + count > flash.size()) return {};
  return Bytes(flash.begin() + static_cast<std::ptrdiff_t>(offset),
               flash.begin() + static_cast<std::ptrdiff_t>(offset + count));
}

}  // namespace testing_support
