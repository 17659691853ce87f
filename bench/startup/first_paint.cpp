// Start-up to first paint: the main dialog of Flashgate, started the way the program starts
// it, or a bare Qt dialog for comparison. Prints the CLOCK_MONOTONIC time of the first paint
// of a window in nanoseconds and ends; bench/startup.sh subtracts the moment it started us.
//   first_paint flashgate | bare
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/qt/qt_app.h"
#include "resources/resources.h"
#include "ui/downloader_dlg.h"

namespace {

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Reports the first paint of any window once, then runs `done`.
class FirstPaint final : public QObject {
 public:
  explicit FirstPaint(std::function<void()> done) : m_done(std::move(done)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
      m_seen = true;
      std::printf("%lld\n", MonotonicNs());
      std::fflush(stdout);
      QMetaObject::invokeMethod(
          this, [this] { m_done(); }, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  std::function<void()> m_done;
  bool m_seen = false;
};

int Bare(int argc, char** argv) {
  QApplication app(argc, argv);
  FirstPaint probe([] { QApplication::quit(); });
  app.installEventFilter(&probe);
  QDialog dialog;
  QLabel label(QStringLiteral("Flashgate"), &dialog);
  dialog.resize(481, 565);
  dialog.show();
  return QApplication::exec();
}

int Flashgate(int argc, char** argv) {
  platform::qt::StartUi(argc, argv);
  resources::RegisterResources();
  CDownloaderDlg dialog;
  FirstPaint probe([&dialog] { dialog.PostMessage(WM_CLOSE); });
  QApplication::instance()->installEventFilter(&probe);
  dialog.DoModal();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "bare") == 0) return Bare(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "flashgate") == 0) return Flashgate(argc, argv);
  std::fprintf(stderr, "usage: first_paint flashgate|bare\n");
  return 2;
}
