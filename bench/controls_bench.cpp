// The cost of one paint of the self-drawn controls on the main dialog: the 263-dialog-unit bar
// with the 255 bands of its default colours and its percentage, and the balloon with the port
// hint, each rendered into an image as the screen would get it. The window system runs
// off-screen; run the Release build.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <cstdlib>

#include "platform/qt/qt_app.h"
#include "platform/qt/qt_backend.h"
#include "resources/resource.h"
#include "resources/resources.h"
#include "ui/downloader_dlg.h"

namespace {

CDownloaderDlg* g_dialog = nullptr;

QWidget* Widget(const CWnd& window) { return platform::qt::WidgetOfHandle(window.GetSafeHwnd()); }

void BM_PaintPercentBar(benchmark::State& state) {
  CPercentProgressCtrl& bar = g_dialog->m_runBar;
  bar.ShowWindow(SW_SHOW);
  bar.SetRange(0, 100);
  bar.SetPos(50);
  bar.m_bShowPercent = TRUE;  // the default colours: red to blue, 255 bands
  QWidget* widget = Widget(bar);
  QImage target(widget->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) widget->render(&target);
  state.SetLabel(std::to_string(widget->width()) + " px wide");
}
BENCHMARK(BM_PaintPercentBar)->Unit(benchmark::kMicrosecond);

void BM_PaintBalloon(benchmark::State& state) {
  CBalloonTip& balloon = g_dialog->m_balloon;
  MSG move{g_dialog->GetDlgItem(IDC_PORT)->GetSafeHwnd(), WM_MOUSEMOVE, 0, 0, 0, {300, 300}};
  QApplication::setActiveWindow(Widget(*g_dialog));
  g_dialog->GetDlgItem(IDC_CODE)->SetFocus();
  balloon.RelayEvent(&move);
  QWidget* widget = Widget(balloon);
  QImage target(widget->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) widget->render(&target);
  state.SetLabel(widget->isVisible() ? "shown" : "NOT SHOWN");
}
BENCHMARK(BM_PaintBalloon)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  platform::qt::StartUi(argc, argv);
  resources::RegisterResources();
  CDownloaderDlg dialog;
  if (!dialog.Create(IDD_DOWNLOADER_DIALOG)) return 1;
  dialog.ShowWindow(SW_SHOW);
  g_dialog = &dialog;
  benchmark::RunSpecifiedBenchmarks();
  dialog.DestroyWindow();
  return 0;
}
