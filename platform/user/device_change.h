// Device notifications: WM_DEVICECHANGE for every serial port that arrives or leaves, sent to
// each top-level window on the user-interface thread, with a DEV_BROADCAST_PORT that names
// the port and lives until the window procedure returns.
#pragma once

#include <string>

#include "platform/kernel/types.h"

constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr DWORD DBT_DEVTYP_PORT = 0x00000003;

struct DEV_BROADCAST_HDR {
  DWORD dbch_size;
  DWORD dbch_devicetype;
  DWORD dbch_reserved;
};

struct DEV_BROADCAST_PORT {
  DWORD dbcp_size;
  DWORD dbcp_devicetype;
  DWORD dbcp_reserved;
  char dbcp_name[16];  // "COMn"
};

namespace platform {

// Starts watching the device folder and the port map (platform/posix/device_watcher.h):
// the system's, or the folders given; false when they cannot be watched. Stop ends it; all
// three belong to the user-interface thread.
bool StartDeviceNotifications();
bool StartDeviceNotifications(const std::string& deviceDir, const std::string& mapDir);
void StopDeviceNotifications();
// Why the last start failed, as a sentence for the operator that names the folder and the
// system's reason ("Cannot make the port folder /home/op/.config/flashgate/ports: Not a
// directory."); empty while notifications run.
std::string DeviceNotificationsFailure();

// What the watcher's thread hands over: sent to the top-level windows when it is dispatched.
void BroadcastPortChange(bool arrived, unsigned port);

}  // namespace platform
