#include "ui/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/kernel/last_error.h"
#include "platform/registry/registry.h"
#include "tests/support/read_file.h"
#include "tests/support/scoped_hive.h"

namespace {

using testing_support::ReadWholeFile;

// Every test has a hive of its own.
class SettingsTest : public ::testing::Test {
 protected:
  std::string HivePath() const { return m_hive.Path(); }

  // The size the registry holds for a value of the settings key.
  static DWORD StoredSize(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS) return MAXDWORD;
    DWORD size = MAXDWORD;
    RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
    RegCloseKey(key);
    return size;
  }

  testing_support::ScopedHive m_hive;
};

class SettingsFirstStart : public SettingsTest {};
class SettingsNumbers : public SettingsTest {};
class SettingsFolders : public SettingsTest {};

TEST_F(SettingsFirstStart, WithoutAHiveEveryReadGivesTheDefaultAndCreatesNothing) {
  EXPECT_EQ(ReadRegInt(kPortValue, 1), 1);
  EXPECT_EQ(ReadRegInt(kDownloadTypeValue, 0), 0);
  EXPECT_TRUE(ReadRegString(kCodeFolderValue).IsEmpty());
  EXPECT_TRUE(ReadRegString(kFontFolderValue).IsEmpty());
  EXPECT_TRUE(std::filesystem::is_empty(m_hive.Dir().Path()));
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY_PATH, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(SettingsFirstStart, TheFirstWriteCreatesTheKey) {
  EXPECT_TRUE(WriteRegString(kPortValue, "3"));
  EXPECT_NE(ReadWholeFile(HivePath()).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANT\\DOWNLOADER]\n\"VOD_PORT\"=\"3\"\n"),
            std::string::npos);
  EXPECT_EQ(ReadRegInt(kPortValue, 1), 3);
  EXPECT_EQ(ReadRegInt(kDownloadTypeValue, 0), 0) << "a value not yet written still gives its default";
}

TEST_F(SettingsNumbers, StoredTextsAreReadAsAtolReadsThem) {
  struct Case {
    const char* stored;
    int expected;
  };
  const Case cases[] = {
      {"7", 7},
      {"25", 25},
      {"abc", 0},
      {"", 1},
      {" -12x", -12},
      {"+5", 5},
      {"\t 8 9", 8},
      {"-", 0},
      {"0x10", 0},
      {"2147483647", INT_MAX},
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteRegString(kPortValue, c.stored));
    EXPECT_EQ(ReadRegInt(kPortValue, 1), c.expected) << '"' << c.stored << '"';
  }
  ASSERT_TRUE(WriteRegString(kDownloadTypeValue, "2"));
  EXPECT_EQ(ReadRegInt(kDownloadTypeValue, 0), 2);
}

TEST_F(SettingsNumbers, WriteRegIntStoresDecimalText) {
  WriteRegInt(kPortValue, 7);
  EXPECT_EQ(ReadRegString(kPortValue), "7");
  EXPECT_EQ(StoredSize(kPortValue), 1u);
  WriteRegInt(kDownloadTypeValue, -3);
  EXPECT_NE(ReadWholeFile(HivePath()).find("\"DLOAD_TYPE_TEST\"=\"-3\"\n"), std::string::npos);
  EXPECT_EQ(ReadRegString(kDownloadTypeValue), "-3");
  EXPECT_EQ(ReadRegInt(kDownloadTypeValue, 0), -3);
  WriteRegInt(kPortValue, INT_MIN);
  EXPECT_EQ(ReadRegInt(kPortValue, 1), INT_MIN);
}

TEST_F(SettingsFolders, AFolderIsStoredWithoutANulAndReadBackExactly) {
  ASSERT_TRUE(WriteRegString(kCodeFolderValue, "/home/tech/fw/"));
  EXPECT_EQ(StoredSize(kCodeFolderValue), 14u);
  EXPECT_NE(ReadWholeFile(HivePath()).find("\"VOD_PHONE_CODE_PATH\"=\"/home/tech/fw/\"\n"), std::string::npos);
  const CString folder = ReadRegString(kCodeFolderValue);
  EXPECT_EQ(folder, "/home/tech/fw/");
  EXPECT_EQ(folder.GetLength(), 14);
}

TEST_F(SettingsFolders, AShorterFolderLeavesNothingOfTheLongerOneBefore) {
  ASSERT_TRUE(WriteRegString(kFontFolderValue, "/home/tech/firmware/fonts/korean/"));
  ASSERT_TRUE(WriteRegString(kFontFolderValue, "/fw/"));
  const CString folder = ReadRegString(kFontFolderValue);
  EXPECT_EQ(folder, "/fw/");
  EXPECT_EQ(folder.GetLength(), 4);
}

TEST_F(SettingsFolders, FoldersLongerThan127BytesAreStoredAndReadWhole) {
  std::string folder = "/home/tech/";
  while (folder.size() < 290) folder += "펌웨어/";  // three bytes a character
  folder += std::string(300 - folder.size() - 1, 'x') + "/";
  ASSERT_EQ(folder.size(), 300u);
  ASSERT_TRUE(WriteRegString(kCodeFolderValue, CString(folder)));
  EXPECT_EQ(StoredSize(kCodeFolderValue), 300u);
  EXPECT_EQ(ReadRegString(kCodeFolderValue).str(), folder);

  const std::string typedByHand(1000, 'd');
  std::ofstream(HivePath(), std::ios::binary)
      << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANT\\DOWNLOADER]\n\"VOD_PHONE_FONT_PATH\"=\"/" << typedByHand
      << "/\"\n";
  EXPECT_EQ(ReadRegString(kFontFolderValue).str(), "/" + typedByHand + "/");
}

TEST_F(SettingsFolders, AFolderTheHiveCannotHoldIsReportedAsNotStored) {
  ASSERT_TRUE(WriteRegString(kCodeFolderValue, "/home/tech/fw/"));
  EXPECT_FALSE(WriteRegString(kCodeFolderValue, "/home/tech/two\nlines/"));
  EXPECT_EQ(ReadRegString(kCodeFolderValue), "/home/tech/fw/");
}

}  // namespace
