// Run inside the kernel rig's guest, not by ctest: the main dialog watches the guest's real
// /dev while the rig plugs a handset in and pulls it out. It signals each step by a file in
// $RIG_SIGNALS and waits for the next, so the rig knows when to act.
#include <fstream>

#include "platform/user/device_change.h"
#include "tests/download/run_fixture.h"

namespace testing_support {
namespace {

void Signal(const char* name) { std::ofstream(std::string(std::getenv("RIG_SIGNALS")) + "/" + name) << name; }

TEST_F(DownloadRun, TheKernelsPortArrivesAndLeaves) {
  ASSERT_NE(std::getenv("RIG_SIGNALS"), nullptr);
  ASSERT_TRUE(platform::StartDeviceNotifications("/dev", ports.Directory())) << platform::DeviceNotificationsFailure();
  RunDialog([&] {
    Signal("watching");
    ASSERT_TRUE(PumpUntil([&] { return dialog.m_strAutoDetect == "Auto Detect [COM3]"; }, 60000));
    EXPECT_EQ(dialog.m_nPortNumber, 3);
    Signal("arrived");
    ASSERT_TRUE(PumpUntil([&] { return dialog.m_strAutoDetect == "Auto Detect [Disconnect]"; }, 60000));
  });
  platform::StopDeviceNotifications();
}

}  // namespace
}  // namespace testing_support
