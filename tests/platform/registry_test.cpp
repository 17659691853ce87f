#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/last_error.h"
#include "platform/posix/hive_file.h"
#include "tests/support/read_file.h"
#include "tests/support/sanitized.h"
#include "tests/support/scoped_hive.h"
#include "tests/support/thread_probe.h"

namespace {

using testing_support::ReadWholeFile;

using platform::posix::Hive;
using testing_support::kSanitized;
using testing_support::WaitUntil;

constexpr char kKey[] = "SOFTWARE\\KORVANT\\DOWNLOADER";

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Every test has a hive of its own.
class HiveTest : public ::testing::Test {
 protected:
  std::string HivePath() const { return m_hive.Path(); }

  static LONG Store(const char* key, const char* name, const std::string& text) {
    HKEY handle = nullptr;
    const LONG created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, "class", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                         nullptr, &handle, nullptr);
    if (created != ERROR_SUCCESS) return created;
    const LONG result = RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                                       static_cast<DWORD>(text.size()));
    RegCloseKey(handle);
    return result;
  }

  static std::optional<std::string> Fetch(const char* key, const char* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return std::nullopt;
    const std::optional<std::string> text = FetchFrom(handle, name);
    RegCloseKey(handle);
    return text;
  }

  static std::optional<std::string> FetchFrom(HKEY handle, const char* name) {
    DWORD size = 0;
    if (RegQueryValueExA(handle, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    std::string text(size, '\0');
    if (RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    return text.substr(0, size);
  }

  static bool KeyExists(const char* key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
  }

  testing_support::ScopedHive m_hive;
};

class RegistryValues : public HiveTest {};
class RegistryQuery : public HiveTest {};
class RegistryDamagedHive : public HiveTest {};
class RegistryCrashSafety : public HiveTest {};
class RegistryLocking : public HiveTest {};

// ---- Keys and values ----

TEST_F(RegistryValues, KeysAndValuesComeBackAsTheyWereStored) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, "Korvant Integrated Downloader", REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::vector<std::pair<const char*, std::string>> values = {
      {"VOD_PORT", "7"},
      {"QUOTED", "say \"hi\" \\ bye \\\""},
      {"WINDOWS_PATH", "C:\\fw\\"},
      {"VOD_PHONE_CODE_PATH", "/home/기술자/펌웨어 폴더/"},
      {"EMPTY", ""},
      {"", "the default value"},
  };
  for (const auto& [name, text] : values) {
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                             static_cast<DWORD>(text.size())),
              ERROR_SUCCESS)
        << name;
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  for (const auto& [name, text] : values) EXPECT_EQ(Fetch(kKey, name), text) << name;
  EXPECT_EQ(Fetch(kKey, nullptr), "the default value") << "no name is the default value";
  EXPECT_TRUE(KeyExists("SOFTWARE\\KORVANT")) << "missing parents are created";
  EXPECT_TRUE(KeyExists("SOFTWARE"));

  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS)
      << "a key that is there already opens";
  EXPECT_EQ(Fetch(kKey, "VOD_PORT"), "7") << "and keeps its values";
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryValues, NamesMatchWhateverTheirCaseAndKeepTheirFirstSpelling) {
  ASSERT_EQ(Store("Software\\Korvant", "Port", "1"), ERROR_SUCCESS);
  ASSERT_EQ(Store("SOFTWARE\\KORVANT\\DOWNLOADER", "PORT", "2"), ERROR_SUCCESS);
  ASSERT_EQ(Store("software\\korvant", "PORT", "3"), ERROR_SUCCESS);
  EXPECT_EQ(Fetch("SOFTWARE\\KORVANT", "port"), "3");
  EXPECT_EQ(Fetch("software\\KORVANT\\downloader", "Port"), "2");
  EXPECT_EQ(ReadWholeFile(HivePath()),
            "REGEDIT4\n\n"
            "[HKEY_LOCAL_MACHINE\\Software]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Korvant]\n\"Port\"=\"3\"\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Korvant\\DOWNLOADER]\n\"PORT\"=\"2\"\n\n");
}

TEST_F(RegistryValues, TheHiveIsRegedit4ATechnicianCanRead) {
  ASSERT_EQ(Store(kKey, "VOD_PORT", "7"), ERROR_SUCCESS);
  ASSERT_EQ(Store(kKey, "VOD_PHONE_FONT_PATH", "C:\\\"폰트\"\\"), ERROR_SUCCESS);
  EXPECT_EQ(ReadWholeFile(HivePath()),
            "REGEDIT4\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANT]\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANT\\DOWNLOADER]\n"
            "\"VOD_PORT\"=\"7\"\n"
            "\"VOD_PHONE_FONT_PATH\"=\"C:\\\\\\\"폰트\\\"\\\\\"\n"
            "\n");
}

TEST_F(RegistryValues, AHandEditedHiveIsReadAndKeptWhenWrittenTo) {
  WriteFile(HivePath(),
            "\xEF\xBB\xBFREGEDIT4\r\n"
            "\r\n"
            "; typed by a technician\r\n"
            "[hkey_local_machine\\SOFTWARE\\KORVANT\\DOWNLOADER]\r\n"
            "  \"VOD_PORT\" = \"12\"  \r\n"
            "@=\"default\"\r\n"
            "\"VOD_PORT\"=\"9\"\r\n");
  EXPECT_EQ(Fetch(kKey, "VOD_PORT"), "9") << "a later line wins";
  EXPECT_EQ(Fetch(kKey, ""), "default");
  EXPECT_TRUE(KeyExists("SOFTWARE\\KORVANT")) << "a section names its parents";

  ASSERT_EQ(Store(kKey, "DLOAD_TYPE_TEST", "1"), ERROR_SUCCESS);
  EXPECT_EQ(Fetch(kKey, "VOD_PORT"), "9");
  EXPECT_EQ(Fetch(kKey, "DLOAD_TYPE_TEST"), "1");
  EXPECT_EQ(FilesIn(m_hive.Dir().Path()), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}))
      << "a hive that was understood is not kept aside";
}

TEST_F(RegistryValues, ReadingCreatesNothing) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(FilesIn(m_hive.Dir().Path()).empty());
}

TEST_F(RegistryValues, WithoutASettingTheHiveIsInTheHomeConfigDirectoryMadeByTheFirstWrite) {
  const testing_support::ScopedEnv defaultHive("FLASHGATE_REGISTRY", nullptr);
  const testing_support::ScopedEnv home("HOME", m_hive.Dir().Path());
  EXPECT_FALSE(KeyExists(kKey));
  EXPECT_TRUE(FilesIn(m_hive.Dir().Path()).empty()) << "reading made no directory";
  EXPECT_EQ(Store(kKey, "VOD_PORT", "3"), ERROR_SUCCESS);
  EXPECT_NE(ReadWholeFile(m_hive.Dir().File(".config/flashgate/registry.reg")).find("\"VOD_PORT\"=\"3\""),
            std::string::npos);
}

// ---- Queries ----

TEST_F(RegistryQuery, WithoutABufferTheTypeAndSizeAreReported) {
  ASSERT_EQ(Store(kKey, "VOD_PHONE_CODE_PATH", "/home/tech/fw/"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "VOD_PHONE_CODE_PATH", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 14u) << "no terminating NUL is counted";
  EXPECT_EQ(RegQueryValueExA(key, "VOD_PHONE_CODE_PATH", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS)
      << "asking for the type alone";
  RegCloseKey(key);
}

TEST_F(RegistryQuery, ABufferTooSmallGetsMoreDataAndTheSizeAndIsLeftAlone) {
  ASSERT_EQ(Store(kKey, "VOD_PHONE_CODE_PATH", "/home/tech/fw/"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  constexpr BYTE kGuard = 0xA5;
  std::vector<BYTE> buffer(64, kGuard);
  BYTE* const data = buffer.data() + 8;

  DWORD size = 13;
  EXPECT_EQ(RegQueryValueExA(key, "VOD_PHONE_CODE_PATH", nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), kGuard), 64) << "nothing written";

  size = 14;
  EXPECT_EQ(RegQueryValueExA(key, "VOD_PHONE_CODE_PATH", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 14), "/home/tech/fw/");
  EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + 8, kGuard), 8);
  EXPECT_EQ(std::count(buffer.begin() + 22, buffer.end(), kGuard), 42) << "nothing past the value, not even a NUL";

  size = 40;
  EXPECT_EQ(RegQueryValueExA(key, "VOD_PHONE_CODE_PATH", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 14u) << "a larger buffer learns the value's size";
  RegCloseKey(key);
}

TEST_F(RegistryQuery, MissingKeysValuesAndClosedHandlesAreReported) {
  ASSERT_EQ(Store(kKey, "VOD_PORT", "1"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "VOD_PHONE_CODE_PATH", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "VOD_PORT", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND)
      << "the root holds no values";

  HKEY other = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KORVANT\\UPLOADER", 0, KEY_READ, &other),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\KORVANT", 0, KEY_READ, &other), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &other), ERROR_SUCCESS) << "a second handle to the same key";
  EXPECT_EQ(FetchFrom(other, "VOD_PORT"), "1");
  EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);

  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "VOD_PORT", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  const BYTE one[] = "1";
  EXPECT_EQ(RegSetValueExA(key, "VOD_PORT", 0, REG_SZ, one, 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegistryQuery, KeysOpenedUnderAnotherKeyAreFoundBelowIt) {
  HKEY software = nullptr;
  HKEY downloader = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &software, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(software, "KORVANT\\DOWNLOADER", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &downloader, nullptr),
            ERROR_SUCCESS);
  const BYTE seven[] = "7";
  EXPECT_EQ(RegSetValueExA(downloader, "VOD_PORT", 0, REG_SZ, seven, 1), ERROR_SUCCESS);
  EXPECT_EQ(Fetch(kKey, "VOD_PORT"), "7");
  RegCloseKey(downloader);
  RegCloseKey(software);
}

TEST_F(RegistryQuery, WhatTheHiveCannotHoldIsRefused) {
  ASSERT_EQ(Store(kKey, "VOD_PORT", "1"), ERROR_SUCCESS);
  const std::string before = ReadWholeFile(HivePath());
  const BYTE two[] = "2";
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "VOD_PORT", 0, REG_SZ, two, 1), ERROR_FILE_NOT_FOUND)
      << "the root holds keys, not values";

  constexpr DWORD kRegDword = 4;
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const DWORD number = 2;
  EXPECT_EQ(RegSetValueExA(key, "VOD_PORT", 0, kRegDword, reinterpret_cast<const BYTE*>(&number), 4),
            ERROR_INVALID_PARAMETER);
  const BYTE twoLines[] = "/home/a\n[HKEY_LOCAL_MACHINE\\X]";
  EXPECT_EQ(RegSetValueExA(key, "VOD_PHONE_CODE_PATH", 0, REG_SZ, twoLines, sizeof twoLines - 1),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key, "NAME\r", 0, REG_SZ, two, 1), ERROR_INVALID_PARAMETER);
  HKEY refused = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\nB", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &refused, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ReadWholeFile(HivePath()), before) << "nothing refused reached the file";

  const BYTE withNul[] = "/home/tech/fw/";
  EXPECT_EQ(RegSetValueExA(key, "VOD_PHONE_CODE_PATH", 0, REG_SZ, withNul, sizeof withNul), ERROR_SUCCESS)
      << "a size that counts the NUL, as Windows programs often pass";
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "VOD_PHONE_CODE_PATH", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 14u) << "the text ends at the NUL";
  RegCloseKey(key);
}

// ---- Damaged hives ----

TEST_F(RegistryDamagedHive, AHiveNotWhollyUnderstoodReadsAsNoKey) {
  const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANT\\DOWNLOADER]\n";
  const std::vector<std::string> damaged = {
      "",
      "VOD_PORT=7\n",
      "REGEDIT5\n\n" + key + "\"VOD_PORT\"=\"7\"\n",
      "Windows Registry Editor Version 5.00\n\n" + key + "\"VOD_PORT\"=\"7\"\n",
      "REGEDIT4\n\"VOD_PORT\"=\"7\"\n" + key,
      "REGEDIT4\n\n" + key + "\"VOD_PORT\"=dword:00000007\n",
      "REGEDIT4\n\n" + key + "\"VOD_PORT\"=\"7\"\n\"PATH\"=\"C:\\fw\"\n",
      "REGEDIT4\n\n" + key + "\"VOD_PORT\"=\"7\n",
      "REGEDIT4\n\n" + key + "\"VOD_PORT\"=\"7\" x\n",
      "REGEDIT4\n\n" + key + "VOD_PORT=7\n",
      "REGEDIT4\n\n" + key + "[HKEY_CURRENT_USER\\SOFTWARE]\n",
      "REGEDIT4\n\n" + key + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\KORVANT]\n",
      "REGEDIT4\n\n" + key + "[HKEY_LOCAL_MACHINE\\SOFTWARE\n",
      "REGEDIT4\n\n" + key + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANT]\n",
  };
  for (const std::string& text : damaged) {
    WriteFile(HivePath(), text);
    EXPECT_FALSE(KeyExists(kKey)) << text;
    EXPECT_EQ(Fetch(kKey, "VOD_PORT"), std::nullopt) << text;
    EXPECT_EQ(ReadWholeFile(HivePath()), text) << "reading leaves it as it is";
  }
}

TEST_F(RegistryDamagedHive, TheFirstWriteKeepsItAsideAndSaysSoOnce) {
  const std::string damaged = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANT\\DOWNLOADER]\n\"VOD_PORT\"=7\n";
  WriteFile(HivePath(), damaged);
  testing::internal::CaptureStderr();
  const LONG first = Store(kKey, "DLOAD_TYPE_TEST", "1");
  const LONG second = Store(kKey, "VOD_PORT", "4");
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(first, ERROR_SUCCESS);
  EXPECT_EQ(second, ERROR_SUCCESS);

  const std::vector<std::string> files = FilesIn(m_hive.Dir().Path());
  ASSERT_EQ(files.size(), 3u) << testing::PrintToString(files);
  EXPECT_EQ(files[0], "registry.reg");
  EXPECT_EQ(files[1].rfind("registry.reg.bad-", 0), 0u) << files[1];
  EXPECT_EQ(files[2], "registry.reg.lock");
  EXPECT_EQ(ReadWholeFile(m_hive.Dir().File(files[1])), damaged) << "kept as it was";
  EXPECT_EQ(Fetch(kKey, "DLOAD_TYPE_TEST"), "1");
  EXPECT_EQ(Fetch(kKey, "VOD_PORT"), "4");

  EXPECT_NE(said.find(files[1]), std::string::npos) << said;
  EXPECT_NE(said.find("line 4"), std::string::npos) << "where the trouble is: " << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
}

TEST_F(RegistryDamagedHive, AnUnreadableHiveIsKeptAsideToo) {
  ASSERT_TRUE(std::filesystem::create_directory(HivePath()));
  WriteFile(HivePath() + "/inside", "kept");
  EXPECT_FALSE(KeyExists(kKey));
  testing::internal::CaptureStderr();
  EXPECT_EQ(Store(kKey, "VOD_PORT", "2"), ERROR_SUCCESS);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(Fetch(kKey, "VOD_PORT"), "2");
  const std::vector<std::string> files = FilesIn(m_hive.Dir().Path());
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(ReadWholeFile(m_hive.Dir().File(files[1]) + "/inside"), "kept");
}

// ---- Crash safety ----

Hive ManyValues(char fill, int count) {
  Hive hive;
  hive.CreateKey(kKey);
  for (int i = 0; i < count; ++i) {
    hive.SetValue(kKey, "VALUE_" + std::to_string(i), std::string(500, fill) + std::to_string(i));
  }
  return hive;
}

// Answers 0 or the errno of the failure.
int Save(const Hive& content) {
  return platform::posix::UpdateHive([&](Hive& hive) { hive = content; });
}

// Saves the two hives in turn until killed; one byte down the pipe after each save.
[[noreturn]] void SaveForever(const Hive& first, const Hive& second, int progress) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  for (unsigned n = 0;; ++n) {
    if (Save(n % 2 ? first : second) != 0) _exit(1);
    if (write(progress, "s", 1) != 1) _exit(2);
  }
}

// Looks for the file until it is there, at most timeoutMs; no sleep, since it may stand for
// well under a millisecond.
bool WaitForFile(const std::string& path, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
  return true;
}

bool WaitForByte(int fd, int timeoutMs) {
  pollfd ready{fd, POLLIN, 0};
  char byte = 0;
  return poll(&ready, 1, timeoutMs) == 1 && read(fd, &byte, 1) == 1;
}

TEST_F(RegistryCrashSafety, AKilledSaveLeavesTheWholeOldOrTheWholeNewHive) {
  const Hive first = ManyValues('a', 500);
  const Hive second = ManyValues('b', 400);
  const std::string firstText = platform::posix::FormatHive(first);
  const std::string secondText = platform::posix::FormatHive(second);

  // Kills are spread over about two saves, so that many land inside one.
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Save(i % 2 ? first : second), 0);
  const auto saveMicroseconds =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count() / 4;
  std::mt19937 random(20240611);
  std::uniform_int_distribution<long> killDelay(0, 2 * saveMicroseconds);

  // Kills at random moments of a save: fewer under a sanitizer, whose saves take longer.
  constexpr int kRounds = kSanitized ? 50 : 200;
  int endedFirst = 0;
  int endedSecond = 0;
  int killedInsideASave = 0;
  for (int round = 0; round < kRounds; ++round) {
    int progress[2];
    ASSERT_EQ(pipe2(progress, O_CLOEXEC), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) SaveForever(first, second, progress[1]);
    close(progress[1]);
    const bool saving = WaitForByte(progress[0], 10000);
    // Every other kill waits for the temporary file, so that some land inside a save however a
    // save's time splits between its steps; the rest fall anywhere.
    if (saving && round % 2) {
      WaitForFile(HivePath() + ".tmp", 10000);
    } else if (saving) {
      usleep(static_cast<useconds_t>(killDelay(random)));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(progress[0]);
    ASSERT_TRUE(saving) << "round " << round << ": the saver never finished a save";
    ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round << ": the saver failed by itself";

    // A temporary file left behind shows the kill came between writing the new hive and renaming it.
    if (std::filesystem::remove(HivePath() + ".tmp")) ++killedInsideASave;
    const std::string text = ReadWholeFile(HivePath());
    if (text == firstText) {
      ++endedFirst;
    } else if (text == secondText) {
      ++endedSecond;
    } else {
      FAIL() << "round " << round << ": the hive is neither whole hive but " << text.size() << " bytes";
    }
  }
  RecordProperty("rounds", kRounds);
  RecordProperty("killed_inside_a_save", killedInsideASave);
  std::printf(
      "crash safety: %d rounds, one save about %ld us, %d kills inside a save; %d ended with the first hive, "
      "%d with the second\n",
      kRounds, static_cast<long>(saveMicroseconds), killedInsideASave, endedFirst, endedSecond);
  EXPECT_GT(killedInsideASave, 0) << "no kill landed inside a save, so nothing was shown";
}

// ---- Locking ----

// Waits until the kernel lists a process or thread blocked on the lock file, wanting `kind`
// ("READ" or "WRITE").
bool WaitForLockWaiter(const std::string& lockPath, const std::string& kind) {
  struct stat info {};
  if (stat(lockPath.c_str(), &info) != 0) return false;
  const std::string inode = ":" + std::to_string(info.st_ino) + " ";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
      if (line.find("-> FLOCK") != std::string::npos && line.find(" " + kind + " ") != std::string::npos &&
          line.find(inode) != std::string::npos) {
        return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// Holds the hive's lock as another program saving would.
class LockHolder {
 public:
  explicit LockHolder(int operation) : m_fd(open(platform::posix::HiveLockPath().c_str(), O_RDWR | O_CLOEXEC)) {
    m_locked = m_fd >= 0 && flock(m_fd, operation) == 0;
  }
  ~LockHolder() { Release(); }
  bool Locked() const { return m_locked; }
  void Release() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd;
  bool m_locked = false;
};

TEST_F(RegistryLocking, AWriterWaitsForTheLockHolderAndKeepsItsChange) {
  ASSERT_EQ(Store(kKey, "FIRST", "1"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  LockHolder holder(LOCK_EX);
  ASSERT_TRUE(holder.Locked());

  std::atomic<bool> done{false};
  LONG result = -1;
  std::thread writer([&] {
    const BYTE text[] = "w";
    result = RegSetValueExA(key, "WRITER", 0, REG_SZ, text, 1);
    done = true;
  });
  const bool waited = WaitForLockWaiter(platform::posix::HiveLockPath(), "WRITE");
  const bool doneWhileLocked = done;
  // What the holder saves meanwhile must not be lost to the waiting writer.
  WriteFile(HivePath(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANT\\DOWNLOADER]\n\"FIRST\"=\"1\"\n\"HOLDER\"=\"h\"\n");
  holder.Release();
  writer.join();
  RegCloseKey(key);

  EXPECT_TRUE(waited) << "the writer never waited for the lock";
  EXPECT_FALSE(doneWhileLocked);
  EXPECT_EQ(result, ERROR_SUCCESS);
  EXPECT_EQ(Fetch(kKey, "HOLDER"), "h");
  EXPECT_EQ(Fetch(kKey, "WRITER"), "w");
  EXPECT_EQ(Fetch(kKey, "FIRST"), "1");
}

TEST_F(RegistryLocking, AReaderWaitsForASaveInProgressButNotForOtherReaders) {
  ASSERT_EQ(Store(kKey, "VOD_PORT", "3"), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  {
    LockHolder otherReader(LOCK_SH);
    ASSERT_TRUE(otherReader.Locked());
    std::atomic<bool> done{false};
    std::thread reader([&] {
      FetchFrom(key, "VOD_PORT");
      done = true;
    });
    const bool finished = WaitUntil(done, true, 5000);
    otherReader.Release();
    reader.join();
    EXPECT_TRUE(finished) << "a reader waited for another reader";
  }

  LockHolder saver(LOCK_EX);
  ASSERT_TRUE(saver.Locked());
  std::optional<std::string> seen;
  std::thread reader([&] { seen = FetchFrom(key, "VOD_PORT"); });
  const bool waited = WaitForLockWaiter(platform::posix::HiveLockPath(), "READ");
  WriteFile(HivePath(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANT\\DOWNLOADER]\n\"VOD_PORT\"=\"4\"\n");
  saver.Release();
  reader.join();
  RegCloseKey(key);

  EXPECT_TRUE(waited) << "the reader never waited for the lock";
  EXPECT_EQ(seen, "4") << "the reader saw the hive as the save left it";
}

}  // namespace
