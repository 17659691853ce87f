// The dialogs' tests run on Qt's off-screen display: real windows, no screen needed.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/qt/qt_app.h"
#include "resources/resources.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The machine's own ModemManager stays out of the tests: a test that wants one starts its
  // own bus and names it.
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/flashgate-tests-have-no-system-bus", 1);
  ::testing::InitGoogleTest(&argc, argv);
  platform::qt::StartUi(argc, argv);
  resources::RegisterResources();
  return RUN_ALL_TESTS();
}
