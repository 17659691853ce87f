#include "platform/kernel/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/kernel/comm.h"
#include "platform/kernel/last_error.h"
#include "tests/support/pty_port.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::TempDir;

TEST(FileSystem, FullPathsAreMadeAgainstTheCurrentFolder) {
  TempDir dir;
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  char buffer[MAX_PATH];
  char* name = nullptr;
  const DWORD length = GetFullPathNameA("images/PHONE.bin", sizeof buffer, buffer, &name);
  EXPECT_EQ(std::string(buffer), dir.File("images/PHONE.bin"));
  EXPECT_EQ(length, dir.File("images/PHONE.bin").size());
  EXPECT_STREQ(name, "PHONE.bin");
  EXPECT_EQ(GetFullPathNameA("/abs/x.bin", sizeof buffer, buffer, nullptr), 10u);
  EXPECT_EQ(GetFullPathNameA("/abs/x.bin", 5, buffer, nullptr), 11u) << "the size it needs, with the NUL";
  std::filesystem::current_path(saved);
}

TEST(FileSystem, ThePortNameLeadsToTheDeviceBehindIt) {
  testing_support::ScopedPortMap ports;
  ports.Publish(12, "/dev/serial/by-id/usb-Handset_0001-if00");
  char target[128];
  EXPECT_EQ(QueryDosDeviceA("COM12", target, sizeof target), 41u) << "with both NULs";
  EXPECT_STREQ(target, "/dev/serial/by-id/usb-Handset_0001-if00");
  EXPECT_EQ(QueryDosDeviceA("COM12", target, 10), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  for (const char* none : {"COM13", "LPT1", "COM0"}) {
    EXPECT_EQ(QueryDosDeviceA(none, target, sizeof target), 0u) << none;
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  }
}

}  // namespace
