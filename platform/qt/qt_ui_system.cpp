#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <atomic>

#include "platform/gdi/gdi.h"
#include "platform/kernel/clock.h"
#include "platform/qt/qt_app.h"
#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/user/app.h"
#include "platform/user/device_change.h"
#include "platform/user/message_box.h"
#include "platform/user/messages.h"
#include "platform/user/ui_system.h"
#include "platform/user/window_messages.h"
#include "platform/user/wnd.h"

namespace platform::qt {
namespace {

// The template fonts, by name, as the installed fonts that stand in for them.
QFont DialogFont(const DialogTemplate& dialog) {
  QFont font;
  font.setFamilies({QStringLiteral("Gulim"), QStringLiteral("NanumGothic"), QStringLiteral("Noto Sans CJK KR"),
                    QStringLiteral("DejaVu Sans")});
  // Point sizes as the original sees them on a 96-dpi screen, whatever this screen reports.
  font.setPixelSize((dialog.pointSize * 96 + 36) / 72);
  if (QString::fromUtf8(dialog.fontName) == QStringLiteral("System")) font.setBold(true);
  return font;
}

DialogUnits UnitsFor(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet =
      metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  return DialogUnits{(alphabet / 26 + 1) / 2, metrics.height()};
}

// A caption is both of its bits: a thin border alone shares one of them.
bool HasCaption(const DialogTemplate& dialog) { return (dialog.style & WS_CAPTION) == WS_CAPTION; }

Qt::WindowFlags FlagsFor(const DialogTemplate& dialog) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
  if (HasCaption(dialog)) {
    flags |= Qt::WindowTitleHint;
  } else {
    flags |= Qt::FramelessWindowHint;
  }
  if (HasCaption(dialog) && (dialog.style & WS_SYSMENU)) flags |= Qt::WindowCloseButtonHint;
  if (dialog.style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
  return flags;
}

DialogWidget* WidgetOf(HWND window) {
  auto* backend = dynamic_cast<DialogBackend*>(BackendOf(window));
  return backend ? static_cast<DialogWidget*>(backend->Widget()) : nullptr;
}

class QtUiSystem final : public UiSystem {
 public:
  HWND CreateDialogWindow(const DialogTemplate& dialog, HWND owner, CWnd* object) override {
    DialogWidget* ownerWidget = WidgetOf(owner);
    auto* widget = new DialogWidget(ownerWidget);
    widget->setWindowFlags(FlagsFor(dialog));
    widget->setWindowTitle(QString::fromUtf8(dialog.caption ? dialog.caption : ""));
    const QFont font = DialogFont(dialog);
    widget->setFont(font);
    const DialogUnits units = UnitsFor(font);
    widget->setFixedSize(units.X(dialog.cx), units.Y(dialog.cy));
    if (!HasCaption(dialog)) widget->setStyleSheet(QStringLiteral("QDialog { border: 1px solid black; }"));

    auto dialogBackend = std::make_unique<DialogBackend>(widget);
    const HWND window = CreateWindowHandle(dialogBackend.get(), nullptr, 0);
    widget->SetHandle(window);
    SetHandleOfWidget(widget, window);
    widget->Keep(std::move(dialogBackend));
    if (object) AttachObject(window, object);

    for (const ControlTemplate& control : dialog.controls) {
      std::unique_ptr<ControlBackend> backend = CreateControl(control, widget, units);
      const HWND handle = CreateWindowHandle(backend.get(), window, control.id);
      SetHandleOfWidget(backend->Widget(), handle);
      backend->Connect(window, handle);
      widget->Keep(std::move(backend));
    }
    if (dialog.style & DS_CENTER) CenterOnScreen(widget);
    return window;
  }

  int RunModalLoop(HWND dialog) override {
    DialogWidget* widget = WidgetOf(dialog);
    return widget ? widget->RunModal() : -1;
  }

  void EndModalLoop(HWND dialog, int result) override {
    if (DialogWidget* widget = WidgetOf(dialog)) widget->EndModal(result);
  }

  void DestroyDialogWindow(HWND dialog) override {
    DialogWidget* widget = WidgetOf(dialog);
    if (!widget) return;
    // Owned dialogs go first, as their owner takes them along: none is left behind with a
    // handle whose widget is gone.
    for (DialogWidget* owned : widget->findChildren<DialogWidget*>(Qt::FindDirectChildrenOnly)) {
      DestroyDialogWindow(owned->Handle());
    }
    // Its modal loop ends first, so the DoModal waiting in it returns; the widget itself goes
    // once the event being handled now has returned, as it may be one of its own.
    widget->EndModal(-1);
    UnregisterWindow(dialog);
    widget->CloseForGood();
    widget->deleteLater();
  }

  bool RunFileDialog(HWND owner, const FileDialogRequest& request, std::string* chosen) override {
    // Above whatever modal window is open, else on its owner.
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = WidgetOf(owner);
    return qt::RunFileDialog(parent, request, chosen);
  }

  COLORREF SystemColor(int index) const override {
    const QPalette palette = QApplication::palette();
    switch (index) {
      case COLOR_BTNFACE: return ToColorRef(palette.color(QPalette::Button));
      default: return 0;
    }
  }

 private:
  static COLORREF ToColorRef(const QColor& color) {
    return RGB(static_cast<BYTE>(color.red()), static_cast<BYTE>(color.green()), static_cast<BYTE>(color.blue()));
  }

  static void CenterOnScreen(QWidget* widget) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    widget->move(area.center() - QPoint(widget->width() / 2, widget->height() / 2));
  }
};

// Runs the queue of posted messages and the timers inside Qt's event loop, and so inside
// every modal loop as well.
class Pump final : public QObject {
 public:
  Pump() {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { Run(); });
  }

  // From any thread.
  void Wake() {
    if (!m_scheduled.exchange(true))
      QMetaObject::invokeMethod(
          this, [this] { Run(); }, Qt::QueuedConnection);
  }

 private:
  void Run() {
    m_scheduled = false;
    // Armed before dispatching too: a handler that opens a modal loop keeps the other timers
    // running under it.
    ArmForNextTimer();
    PumpPostedMessages();
    ArmForNextTimer();
  }

  void ArmForNextTimer() {
    if (const auto due = NextTimerDue()) {
      const std::uint64_t now = ActiveClock().NowMs();
      m_timer.start(static_cast<int>(*due > now ? std::min<std::uint64_t>(*due - now, 1u << 30) : 0));
    } else {
      m_timer.stop();
    }
  }

  std::atomic<bool> m_scheduled{false};
  QTimer m_timer;
};

UINT VirtualKey(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    default: return static_cast<UINT>(event.key() & 0xFFFF);
  }
}

// Gives the windows the first look at keyboard and mouse input: from the window under the
// input up to its dialog, PreTranslateMessage may take a message before the control sees it.
class InputHook final : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    const HWND target = HandleOfWidget(widget);
    if (!target) return false;
    switch (event->type()) {
      case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && (key->modifiers() & Qt::AltModifier)) {
          if (auto* dialog = dynamic_cast<DialogWidget*>(widget->window())) {
            dialog->ShowSystemMenu(dialog->mapToGlobal(QPoint(0, 0)));
            return true;
          }
        }
        return PreTranslate(target, WM_KEYDOWN, VirtualKey(*key), 0);
      }
      case QEvent::MouseMove:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        const UINT message = event->type() == QEvent::MouseMove          ? WM_MOUSEMOVE
                             : event->type() == QEvent::MouseButtonPress ? WM_LBUTTONDOWN
                                                                         : WM_LBUTTONUP;
        return PreTranslate(target, message, 0, MAKELPARAM(static_cast<WORD>(at.x()), static_cast<WORD>(at.y())));
      }
      default: return false;
    }
  }

 private:
  static bool PreTranslate(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{target, message, wParam, lParam, GetTickCount()};
    for (HWND window = target; window; window = ParentOf(window)) {
      CWnd* object = WindowFromHandle(window);
      if (object && object->PreTranslateMessage(&msg)) return true;
    }
    return false;
  }
};

int ShowMessageBox(const MessageBoxRequest& request) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (request.type & MB_ICONMASK) {
    case MB_ICONERROR: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONEXCLAMATION: icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    default: break;
  }
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  switch (request.type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MB_YESNO: buttons = QMessageBox::Yes | QMessageBox::No; break;
    default: break;
  }
  // The owner is a modal window, never a modeless notice that may be destroyed under the box.
  QWidget* owner = QApplication::activeModalWidget();
  if (!owner) owner = WidgetOf(request.owner);
  QMessageBox box(icon, QString::fromUtf8(request.caption.GetString()), QString::fromUtf8(request.text.GetString()),
                  buttons, owner);
  switch (box.exec()) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDOK;
  }
}

}  // namespace

void StartUi(int& argc, char** argv) {
  if (!QApplication::instance()) new QApplication(argc, argv);
  static QtUiSystem* const system = new QtUiSystem;
  static Pump* const pump = new Pump;
  static InputHook* const hook = new InputHook;
  InstallUiSystem(system);
  SetQueueWakeHook([] { pump->Wake(); });
  QApplication::instance()->installEventFilter(hook);
  SetMessageBoxHandler(ShowMessageBox);
  pump->Wake();
}

int RunApplication(int argc, char** argv) {
  StartUi(argc, argv);
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  // Ports that arrive and leave are announced from the start, as the system announces them.
  StartDeviceNotifications();
  const int result = app->InitInstance() ? QApplication::exec() : 0;
  StopDeviceNotifications();
  return result;
}

}  // namespace platform::qt
