#include "platform/qt/qt_session.h"

#include <QGuiApplication>
#include <cstdio>

namespace platform::qt {
namespace {

bool InWaylandSession() {
  return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
}

}  // namespace

void ChooseDisplayPlatform() {
  if (!InWaylandSession() || qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
  // Wayland stays the way out when the X display cannot be reached after all.
  if (!qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}

void ReportDisplayPlatform() {
  if (!InWaylandSession()) return;
  const QByteArray platform = QGuiApplication::platformName().toUtf8();
  if (platform.startsWith("wayland")) {
    std::fprintf(
        stderr,
        "flashgate: running on Wayland, where a window cannot learn its place on the screen: the hint over "
        "the port may show away from the pointer. With XWayland, and QT_QPA_PLATFORM not set, it runs on X.\n");
  } else if (platform == "xcb") {
    std::fprintf(stderr, "flashgate: a Wayland session: running on X (XWayland), where windows know their place.\n");
  }
}

}  // namespace platform::qt
