#include <QApplication>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/qt/qt_app.h"
#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_gdi.h"
#include "platform/qt/qt_input.h"
#include "platform/qt/qt_modem_manager.h"
#include "platform/qt/qt_pump.h"
#include "platform/qt/qt_session.h"
#include "platform/user/app.h"
#include "platform/user/device_change.h"
#include "platform/user/file_dialog.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/menu.h"
#include "platform/user/message_box.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/ui_system.h"
#include "platform/user/window_backend.h"
#include "platform/user/window_messages.h"
#include "platform/user/wnd.h"

namespace platform::qt {
namespace {

// The templates' font, 굴림, as the installed fonts that stand in for it.
QFont DialogFont(const DialogTemplate& dialog) {
  QFont font;
  font.setFamilies({QStringLiteral("Gulim"), QStringLiteral("NanumGothic"), QStringLiteral("Noto Sans CJK KR"),
                    QStringLiteral("DejaVu Sans")});
  // Point sizes as Windows sees them on a 96-dpi screen, whatever this screen reports.
  font.setPixelSize((dialog.pointSize * 96 + 36) / 72);
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

// "All Files (*.*)" lists every file, as "*.*" does on Windows.
QString NameFilter(const FileFilter& filter) {
  QStringList patterns;
  for (const std::string& pattern : filter.patterns) {
    patterns << (pattern == "*.*" ? QStringLiteral("*") : QString::fromStdString(pattern));
  }
  return QString::fromStdString(filter.description) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
         QLatin1Char(')');
}

// The real message box: a QMessageBox on the window it belongs to.
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
  if (!owner) owner = WidgetOfHandle(request.owner);
  QMessageBox box(icon, QString::fromUtf8(request.caption.GetString()), QString::fromUtf8(request.text.GetString()),
                  buttons, owner);
  switch (box.exec()) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDOK;
  }
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

  // Qt's own file dialog, the same on every desktop and under any display, so that a typed name
  // gets the default extension as the Windows dialog gives it.
  bool RunFileDialog(HWND ownerWindow, const FileDialogRequest& request, std::string* chosen) override {
    // Above whatever modal window is open, else on its owner.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = DialogOfHandle(ownerWindow);
    QFileDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // A name typed for a file that does not exist yet is taken, as GetOpenFileName takes it.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!(request.flags & OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters;
    for (const FileFilter& filter : request.filters) filters << NameFilter(filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExt));
    if (!request.folder.empty()) dialog.setDirectory(QString::fromStdString(request.folder));
    // A pattern such as "*.bin" only says what to list; a plain name is offered as the choice.
    if (request.name.find_first_of("*?") == std::string::npos) dialog.selectFile(QString::fromStdString(request.name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    *chosen = dialog.selectedFiles().first().toStdString();
    return true;
  }

  UINT TrackPopupMenu(const MenuData& menu, POINT screen, HWND owner) override {
    QMenu popup(WidgetOfHandle(owner));
    for (const MenuItem& item : menu.items) {
      if (item.flags & MF_SEPARATOR) {
        popup.addSeparator();
        continue;
      }
      QAction* action = popup.addAction(QString::fromUtf8(item.text.c_str()));
      action->setData(QVariant::fromValue<qulonglong>(item.id));
      action->setEnabled(!(item.flags & MF_GRAYED));
    }
    const QAction* chosen = popup.exec(QPoint(screen.x, screen.y));
    return chosen ? static_cast<UINT>(chosen->data().toULongLong()) : 0;
  }

  // Borderless, over the other windows, and never taking the focus, so the window under the
  // pointer keeps it.
  HWND CreatePopupWindow(const RECT& rect, HWND owner, CWnd* object) override {
    auto* widget =
        new QWidget(WidgetOfHandle(owner), Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    widget->setAttribute(Qt::WA_ShowWithoutActivating);
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setMouseTracking(true);
    widget->setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
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
  // Qt drops a D-Bus connection whose bus refused its Hello without closing it, which libdbus
  // takes for a fatal misuse by default: a system bus that will not have us must not end the
  // program (the modem manager's client). Set before Qt starts threads that read the
  // environment; a value the user set stays.
  setenv("DBUS_FATAL_WARNINGS", "0", 0);
  if (!QApplication::instance()) new QApplication(argc, argv);
  static QtUiSystem* const system = new QtUiSystem;
  static Pump* const pump = new Pump;
  static InputHook* const hook = new InputHook;
  InstallUiSystem(system);
  SetQueueWakeHook([] { pump->Wake(); });
  QApplication::instance()->installEventFilter(hook);
  SetMessageBoxHandler(ShowMessageBox);
  InstallModemManagerClient(MakeModemManagerClient());
  pump->Wake();
}

int RunApplication(int argc, char** argv) {
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  for (int i = 1; i < argc; ++i) app->m_arguments.emplace_back(argv[i]);
  if (!app->InitApplication()) return app->ExitInstance();
  if (OffscreenDisplayRequested()) qputenv("QT_QPA_PLATFORM", "offscreen");
  ChooseDisplayPlatform();
  StartUi(argc, argv);
  ReportDisplayPlatform();
  // Ports that arrive and leave are announced from the start, as the system announces them.
  StartDeviceNotifications();
  if (app->InitInstance()) QApplication::exec();
  StopDeviceNotifications();
  return app->ExitInstance();
}

}  // namespace platform::qt
