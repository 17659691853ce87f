#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QScreen>
#include <map>
#include <memory>

#include "platform/qt/qt_app.h"
#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_gdi.h"
#include "platform/qt/qt_input.h"
#include "platform/qt/qt_menu.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_popup.h"
#include "platform/qt/qt_pump.h"
#include "platform/user/app.h"
#include "platform/user/device_change.h"
#include "platform/user/message_box.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
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
  // Point sizes as Windows sees them on a 96-dpi screen, whatever this screen reports.
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

class QtUiSystem final : public UiSystem {
 public:
  HWND CreateDialogWindow(const DialogTemplate& dialog, HWND owner, CWnd* object) override {
    DialogWidget* ownerWidget = DialogOfHandle(owner);
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

    widget->installEventFilter(ThePaintRouter());
    for (const ControlTemplate& control : dialog.controls) {
      std::unique_ptr<ControlBackend> backend = CreateControl(control, widget, units);
      const HWND handle = CreateWindowHandle(backend.get(), window, control.id);
      SetHandleOfWidget(backend->Widget(), handle);
      backend->Widget()->installEventFilter(ThePaintRouter());
      backend->Connect(window, handle);
      widget->Keep(std::move(backend));
    }
    // Mouse moves reach the windows without a button held, as on Windows.
    widget->setMouseTracking(true);
    for (QWidget* child : widget->findChildren<QWidget*>()) child->setMouseTracking(true);
    if (dialog.style & DS_CENTER) CenterOnScreen(widget);
    return window;
  }

  int RunModalLoop(HWND dialog) override {
    DialogWidget* widget = DialogOfHandle(dialog);
    return widget ? widget->RunModal() : -1;
  }

  void EndModalLoop(HWND dialog, int result) override {
    if (DialogWidget* widget = DialogOfHandle(dialog)) widget->EndModal(result);
  }

  void DestroyDialogWindow(HWND dialog) override {
    DialogWidget* widget = DialogOfHandle(dialog);
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
    if (!parent) parent = DialogOfHandle(owner);
    return qt::RunFileDialog(parent, request, chosen);
  }

  UINT TrackPopupMenu(const MenuData& menu, POINT screen, HWND owner) override {
    return RunPopupMenu(menu, QPoint(screen.x, screen.y), WidgetOfHandle(owner));
  }

  HWND CreatePopupWindow(const RECT& rect, HWND owner, CWnd* object) override {
    auto* widget = new PopupWidget(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                                   WidgetOfHandle(owner));
    auto backend = std::make_unique<WidgetBackend>(widget);
    const HWND window = CreateWindowHandle(backend.get(), nullptr, 0);
    SetHandleOfWidget(widget, window);
    widget->installEventFilter(ThePaintRouter());
    m_popups[widget] = std::move(backend);
    // The window goes when its owner does, as an owned window does.
    QObject::connect(widget, &QObject::destroyed, [this, widget, window] {
      UnregisterWindow(window);
      m_popups.erase(widget);
    });
    if (object) AttachObject(window, object);
    return window;
  }

  void DestroyWindow(HWND window) override {
    QWidget* widget = WidgetOfHandle(window);
    if (!widget) return;
    UnregisterWindow(window);
    widget->hide();
    widget->deleteLater();
  }

  HWND FocusWindow() const override {
    if (!QApplication::activeWindow()) return nullptr;
    QWidget* focus = QApplication::focusWidget();
    return focus ? HandleOfWidget(focus) : nullptr;
  }

  HWND WindowAtPoint(POINT screen) const override {
    const QPoint point(screen.x, screen.y);
    // The window system's own search may not honour a window's shape: a popup is only where
    // its shape is.
    QWidget* top = nullptr;
    int topRank = -1;
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
      if (!candidate->isVisible() || !candidate->geometry().contains(point)) continue;
      const QRegion shape = candidate->mask();
      if (!shape.isEmpty() && !shape.contains(candidate->mapFromGlobal(point))) continue;
      // Popups stay above every dialog, the active dialog above the others.
      const int rank = candidate->windowType() == Qt::ToolTip ? 2 : candidate->isActiveWindow() ? 1 : 0;
      if (rank > topRank) {
        top = candidate;
        topRank = rank;
      }
    }
    if (!top) return nullptr;
    QWidget* child = top->childAt(top->mapFromGlobal(point));
    return HandleOfWidget(child ? child : top);
  }

  COLORREF SystemColor(int index) const override {
    const QPalette palette = QApplication::palette();
    switch (index) {
      case COLOR_BTNFACE: return ToColorRef(palette.color(QPalette::Button));
      default: return 0;
    }
  }

 private:
  std::map<QWidget*, std::unique_ptr<WidgetBackend>> m_popups;

  static void CenterOnScreen(QWidget* widget) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    widget->move(area.center() - QPoint(widget->width() / 2, widget->height() / 2));
  }
};

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
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  for (int i = 1; i < argc; ++i) app->m_arguments.emplace_back(argv[i]);
  if (!app->InitApplication()) return app->ExitInstance();
  if (OffscreenDisplayRequested()) qputenv("QT_QPA_PLATFORM", "offscreen");
  StartUi(argc, argv);
  // Ports that arrive and leave are announced from the start, as the system announces them.
  StartDeviceNotifications();
  if (app->InitInstance()) QApplication::exec();
  StopDeviceNotifications();
  return app->ExitInstance();
}

}  // namespace platform::qt
