#include "platform/kernel/file_system.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/kernel/comm.h"
#include "platform/kernel/last_error.h"
#include "tests/support/pty_port.h"
#include "tests/support/read_file.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;

void Touch(const std::string& path, const std::string& text = "x") { std::ofstream(path) << text; }

std::set<std::string> Found(const std::string& pattern) {
  std::set<std::string> names;
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.insert(data.cFileName + std::string(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "/" : ""));
  } while (FindNextFileA(find, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(find));
  return names;
}

TEST(FileSystem, ListsByPatternAndMakesDeletesAndReplacesFiles) {
  TempDir dir;
  Touch(dir.File("a.txt"));
  Touch(dir.File("b.txt"));
  Touch(dir.File("b.txt.tmp"));
  Touch(dir.File(".hidden.txt"));
  ASSERT_TRUE(CreateDirectoryA(dir.File("sub.txt").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA(dir.File("sub.txt").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  EXPECT_EQ(Found(dir.File("*.txt")), (std::set<std::string>{"a.txt", "b.txt", "sub.txt/"}));
  EXPECT_EQ(Found(dir.File("?.txt*")), (std::set<std::string>{"a.txt", "b.txt", "b.txt.tmp"}));
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA(dir.File("*.bin").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA(dir.File("missing/*").c_str(), &data), INVALID_HANDLE_VALUE);

  Touch(dir.File("new.txt"), "new");
  EXPECT_FALSE(MoveFileExA(dir.File("new.txt").c_str(), dir.File("a.txt").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileExA(dir.File("new.txt").c_str(), dir.File("a.txt").c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(testing_support::ReadWholeFile(dir.File("a.txt")), "new");
  EXPECT_TRUE(DeleteFileA(dir.File("a.txt").c_str()));
  EXPECT_FALSE(DeleteFileA(dir.File("a.txt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

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

TEST(FileSystem, TheLocalAppDataFolderIsTheStateFolder) {
  TempDir home;
  ScopedEnv homeVariable("HOME", home.Path());
  char path[MAX_PATH];
  {
    ScopedEnv state("XDG_STATE_HOME", home.File("state/deep"));
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path), S_OK);
    EXPECT_EQ(std::string(path), home.File("state/deep"));
    struct stat info {};
    EXPECT_EQ(stat(path, &info), 0) << "made with its parents";
  }
  for (const char* ignored : {"", "relative/state"}) {
    ScopedEnv state("XDG_STATE_HOME", ignored);
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path), S_OK);
    EXPECT_EQ(std::string(path), home.File(".local/state")) << "with XDG_STATE_HOME=" << ignored;
  }
  EXPECT_EQ(SHGetFolderPathA(nullptr, 0x0005, nullptr, 0, path), E_FAIL);
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
