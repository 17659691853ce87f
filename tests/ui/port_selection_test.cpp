// The port the run will open: chosen in the combo, or detected from the system's
// announcements of ports that arrive and leave, with the combo and the read-only box taking
// turns in the same place.
#include <QComboBox>
#include <fstream>

#include "platform/user/device_change.h"
#include "resources/resource.h"
#include "tests/download/run_fixture.h"
#include "tests/download/run_probe.h"
#include "tests/support/widgets.h"
#include "ui/settings.h"

namespace testing_support {
namespace {

struct Announcement {
  WPARAM event;
  DWORD deviceType;
  const char* name;
};

constexpr Announcement Arrival(const char* name) { return {DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT, name}; }
constexpr Announcement Removal(const char* name) { return {DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, name}; }

struct PortCase {
  const char* name;
  std::vector<Announcement> announcements;
  bool reconnecting;
  // What follows.
  int portNumber;
  bool comboShown;
  bool boxShown;
  const char* boxText;
  const char* comboText;
  int storedPort;
};

void PrintTo(const PortCase& port, std::ostream* out) { *out << port.name; }

class PortDetection : public DownloadRun, public ::testing::WithParamInterface<PortCase> {};

TEST_P(PortDetection, FollowsTheAnnouncements) {
  const PortCase& port = GetParam();
  RunDialog([&] {
    RunProbe(dialog.m_run).State().reconnecting = port.reconnecting;
    for (const Announcement& announcement : port.announcements) {
      DEV_BROADCAST_PORT record{sizeof record, announcement.deviceType, 0, {}};
      std::snprintf(record.dbcp_name, sizeof record.dbcp_name, "%s", announcement.name);
      dialog.SendMessage(WM_DEVICECHANGE, announcement.event, reinterpret_cast<LPARAM>(&record));
    }
    EXPECT_EQ(dialog.m_nPortNumber, port.portNumber);
    EXPECT_EQ(Visible(IDC_PORT), port.comboShown);
    EXPECT_EQ(Visible(IDC_AUTO_DETECT), port.boxShown);
    CString text;
    dialog.GetDlgItem(IDC_AUTO_DETECT)->GetWindowText(text);
    EXPECT_EQ(text, port.boxText);
    dialog.GetDlgItem(IDC_PORT)->GetWindowText(text);
    EXPECT_EQ(text, port.comboText);
    EXPECT_EQ(ReadRegInt(kPortValue, 0), port.storedPort);
  });
}

// The settings say COM3 when the dialog opens.
INSTANTIATE_TEST_SUITE_P(
    PortSelection, PortDetection,
    ::testing::Values(
        PortCase{"HandsetAsCom7", {Arrival("COM7")}, false, 7, false, true, "Auto Detect [COM7]", "COM7", 7},
        PortCase{"HandsetLeaves",
                 {Arrival("COM7"), Removal("COM7")},
                 false,
                 7,
                 false,
                 true,
                 "Auto Detect [Disconnect]",
                 "COM7",
                 7},
        // Both show: the box keeps its text, the combo its selection, the setting its port.
        PortCase{
            "Com2AfterCom7", {Arrival("COM7"), Arrival("COM2")}, false, 2, true, true, "Auto Detect [COM7]", "COM7", 7},
        PortCase{"Com1WhileManual", {Arrival("COM1")}, false, 1, true, false, "", "COM3", 3},
        PortCase{"Com25", {Arrival("COM25")}, false, 25, false, true, "Auto Detect [COM25]", "", 25},
        PortCase{"NameWithoutNumber", {Arrival("USB")}, false, 0, true, false, "", "COM3", 3},
        PortCase{"NotAPort", {{DBT_DEVICEARRIVAL, 5, "COM9"}}, false, 3, true, false, "", "COM3", 3},
        PortCase{"WhileReconnecting", {Arrival("COM7"), Removal("COM7")}, true, 3, true, false, "", "COM3", 3}),
    [](const ::testing::TestParamInfo<PortCase>& info) { return std::string(info.param.name); });

// Ports that cannot be watched are said in red when the window opens: a handset plugged in
// would get no port.
TEST_F(DownloadRun, PortsThatCannotBeWatchedAreSaidAtStartUp) {
  TempDir devices;
  std::ofstream(files.File("taken")) << "a file where the port folder's parent should be";
  ASSERT_FALSE(platform::StartDeviceNotifications(devices.Path(), files.File("taken/ports")));
  const std::string why = platform::DeviceNotificationsFailure();
  EXPECT_FALSE(why.empty());
  RunDialog([&] { EXPECT_TRUE(LogHas({why, COLOR_ERROR, false})) << why; });
  // Running again, as for the tests that follow in this process.
  ASSERT_TRUE(platform::StartDeviceNotifications(devices.Path(), ports.Directory()));
  platform::StopDeviceNotifications();
}

TEST_F(DownloadRun, ChoosingAPortInTheComboStoresIt) {
  RunDialog([&] {
    auto* combo = WidgetOf<QComboBox>(*dialog.GetDlgItem(IDC_PORT));
    combo->setCurrentIndex(4);
    emit combo->activated(4);
    EXPECT_EQ(dialog.m_nPortNumber, 5);
    EXPECT_EQ(ReadRegInt(kPortValue, 0), 5);
  });
}

}  // namespace
}  // namespace testing_support
