#include "platform/user/device_change.h"

#include <cstdio>
#include <memory>

#include "platform/kernel/com_port.h"
#include "platform/posix/device_names.h"
#include "platform/posix/device_watcher.h"
#include "platform/posix/port_map.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/messages.h"
#include "platform/user/wnd.h"

namespace platform {
namespace {

constexpr UINT WM_PORT_CHANGED = WM_USER + 0x7F00;

// Receives the watcher's reports on the user-interface thread and sends each on as
// WM_DEVICECHANGE to the other top-level windows.
class Broadcaster final : public CWnd {
 public:
  Broadcaster() { CreateHandle(); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_PORT_CHANGED) BroadcastPortChange(wParam != 0, static_cast<unsigned>(lParam));
    return 0;
  }
};

struct Notifications {
  std::unique_ptr<Broadcaster> broadcaster;
  std::unique_ptr<posix::DeviceWatcher> watcher;
  std::string failure;  // of the last start
};

Notifications& TheNotifications() {
  static Notifications notifications;
  return notifications;
}

}  // namespace

bool StartDeviceNotifications() {
  return StartDeviceNotifications(posix::DeviceDirectory(), posix::PortMapDirectory());
}

bool StartDeviceNotifications(const std::string& deviceDir, const std::string& mapDir) {
  StopDeviceNotifications();
  Notifications& notifications = TheNotifications();
  notifications.failure.clear();
  notifications.broadcaster = std::make_unique<Broadcaster>();
  const HWND broadcaster = notifications.broadcaster->GetSafeHwnd();
  // From the watcher's thread: posting is all it may do with windows.
  notifications.watcher =
      std::make_unique<posix::DeviceWatcher>(deviceDir, mapDir, [broadcaster](bool arrived, unsigned port) {
        ::PostMessage(broadcaster, WM_PORT_CHANGED, arrived ? 1 : 0, static_cast<LPARAM>(port));
      });
  if (notifications.watcher->Start()) return true;
  notifications.failure = notifications.watcher->Failure();
  StopDeviceNotifications();
  return false;
}

std::string DeviceNotificationsFailure() { return TheNotifications().failure; }

void StopDeviceNotifications() {
  Notifications& notifications = TheNotifications();
  // The watcher goes first, so nothing is posted to the broadcaster once it is gone.
  notifications.watcher.reset();
  notifications.broadcaster.reset();
}

void BroadcastPortChange(bool arrived, unsigned port) {
  DEV_BROADCAST_PORT record{};
  record.dbcp_size = sizeof record;
  record.dbcp_devicetype = DBT_DEVTYP_PORT;
  std::snprintf(record.dbcp_name, sizeof record.dbcp_name, "%s", platform::ComPortName(port).c_str());
  const HWND self = TheNotifications().broadcaster ? TheNotifications().broadcaster->GetSafeHwnd() : nullptr;
  // A window that an earlier one's handler destroyed is skipped: its handle names nothing.
  for (const HWND window : TopLevelWindows()) {
    if (window == self) continue;
    ::SendMessage(window, WM_DEVICECHANGE, arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                  reinterpret_cast<LPARAM>(&record));
  }
}

}  // namespace platform
