#include "platform/kernel/file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "platform/kernel/last_error.h"
#include "platform/posix/drive_map.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ScopedDriveC;
using testing_support::TempDir;

TEST(DriveMap, DriveCPathsLandInTheDriveDirectoryWithEitherSlash) {
  TempDir drive;
  ScopedDriveC driveC(drive.Path());
  EXPECT_EQ(platform::posix::NativePath("c:/test_d40000_src.dat"), drive.File("test_d40000_src.dat"));
  EXPECT_EQ(platform::posix::NativePath("C:\\images\\code.bin"), drive.File("images/code.bin"));
  EXPECT_EQ(platform::posix::NativePath("C:\\"), drive.Path() + "/");
  EXPECT_EQ(platform::posix::NativePath("/home/tech/code.bin"), "/home/tech/code.bin");
  EXPECT_EQ(platform::posix::NativePath("relative/code.bin"), "relative/code.bin");
}

TEST(DriveMap, WithoutASettingDriveCIsTheHomeDirectory) {
  TempDir home;
  const testing_support::ScopedEnv defaultDrive("FLASHGATE_DRIVE_C", nullptr);
  const testing_support::ScopedEnv homeDir("HOME", home.Path());
  EXPECT_EQ(platform::posix::NativePath("c:/x.dat"), home.File("x.dat"));
}

TEST(File, WritesReadsSeeksAndReportsItsSize) {
  TempDir dir;
  ScopedDriveC driveC(dir.Path());
  CFile file;
  ASSERT_TRUE(file.Open("c:/data.bin", CFile::modeCreate | CFile::modeWrite));
  const char text[] = "0123456789";
  EXPECT_TRUE(file.Write(text, 10));
  file.Close();
  EXPECT_EQ(file.m_hFile, CFile::hFileNull);

  ASSERT_TRUE(file.Open(dir.File("data.bin").c_str(), CFile::modeRead));
  CFileStatus status;
  ASSERT_TRUE(file.GetStatus(status));
  EXPECT_EQ(status.m_size, 10u);
  EXPECT_EQ(file.Seek(6, CFile::begin), 6);
  char buffer[16] = {};
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 4u) << "a read stops at the end";
  EXPECT_STREQ(buffer, "6789");
  EXPECT_EQ(file.Seek(100, CFile::begin), 100);
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
}

TEST(File, CreatingTruncatesAnExistingFile) {
  TempDir dir;
  std::ofstream(dir.File("old.dat")) << "a long earlier content";
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("old.dat").c_str(), CFile::modeCreate | CFile::modeWrite));
  file.Write("new", 3);
  file.Close();
  std::ifstream in(dir.File("old.dat"));
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "new");
}

TEST(File, OnlyAnExistingRegularFileOpensAndAClosedFileDoesNothing) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("fifo.bin").c_str(), 0600), 0);
  // A folder and a FIFO without a writer are refused at once, not read or waited on.
  for (const std::string& path : {dir.File("missing.bin"), dir.Path(), dir.File("fifo.bin")}) {
    CFile file;
    EXPECT_FALSE(file.Open(path.c_str(), CFile::modeRead)) << path;
    EXPECT_NE(GetLastError(), 0u) << path;
    EXPECT_EQ(file.m_hFile, CFile::hFileNull) << path;
  }
  CFile file;
  char buffer[4];
  EXPECT_EQ(file.Read(buffer, 4), 0u);
  EXPECT_FALSE(file.Write("x", 1));
  CFileStatus status;
  EXPECT_FALSE(file.GetStatus(status));
  EXPECT_EQ(file.Seek(0, CFile::begin), -1);
}

}  // namespace
