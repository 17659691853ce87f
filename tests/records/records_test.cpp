#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "records/record_store.h"
#include "records/service_record.h"
#include "records/sha256.h"
#include "tests/support/read_file.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;

// FIPS 180-4 examples, whole and in pieces.
TEST(Sha256, DigestsTheStandardExamples) {
  struct Case {
    std::string input;
    const char* digest;
  };
  const Case cases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    Sha256 whole;
    whole.Update(c.input.data(), c.input.size());
    EXPECT_EQ(whole.HexDigest(), c.digest) << c.input.size() << " bytes at once";
    Sha256 pieces;
    for (size_t at = 0; at < c.input.size(); at += 7)
      pieces.Update(c.input.data() + at, std::min<size_t>(7, c.input.size() - at));
    EXPECT_EQ(pieces.HexDigest(), c.digest) << c.input.size() << " bytes in pieces";
  }
}

std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// The permission bits of a file or folder; -1 when there is none.
int Mode(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

TEST(RecordStore, TheDefaultFolderIsInTheStateFolderWhichIsMadePrivate) {
  TempDir home;
  ScopedEnv homeVariable("HOME", home.Path());
  {
    ScopedEnv state("XDG_STATE_HOME", home.File("state/deep"));
    EXPECT_EQ(RecordStore::DefaultFolder(), home.File("state/deep/flashgate"));
    EXPECT_EQ(Mode(home.File("state")), 0700) << "the state folder is made with its parents";
    EXPECT_EQ(Mode(home.File("state/deep")), 0700);
    EXPECT_EQ(Mode(home.File("state/deep/flashgate")), -1) << "the records folder comes with the first record";
  }
  for (const char* ignored : {"", "relative/state"}) {
    ScopedEnv state("XDG_STATE_HOME", ignored);
    EXPECT_EQ(RecordStore::DefaultFolder(), home.File(".local/state/flashgate")) << "XDG_STATE_HOME=" << ignored;
  }
  std::ofstream(home.File("file")) << "in the way";
  ScopedEnv blocked("XDG_STATE_HOME", home.File("file/state"));
  EXPECT_EQ(RecordStore::DefaultFolder(), "") << "a state folder that cannot be made";
}

TEST(RecordStore, ReplacesARecordWholeAndKeepsOnlyTheNewestRecords) {
  TempDir dir;
  RecordStore store(dir.File("records/flashgate"), 3);
  std::string error;
  EXPECT_FALSE(store.Save("a.txt", "x", &error)) << "the parent folder is not made";
  EXPECT_FALSE(error.empty());

  RecordStore kept(dir.File("records"), 3);
  ASSERT_TRUE(kept.Save("20261207T100000.000Z-COM3-1.txt", "under way", &error)) << error;
  EXPECT_EQ(Mode(dir.File("records")), 0700) << "the folder is the user's alone";
  ASSERT_TRUE(kept.Save("20261207T100000.000Z-COM3-1.txt", "completed", &error)) << error;
  EXPECT_EQ(testing_support::ReadWholeFile(dir.File("records/20261207T100000.000Z-COM3-1.txt")), "completed");

  // Neither counted nor removed: what is not a record, a hidden file and a folder.
  std::ofstream(dir.File("records/20261207T090000.000Z-COM9-7.txt.tmp")) << "a save cut short";
  std::ofstream(dir.File("records/.20261101T000000.000Z-COM1-1.txt")) << "hidden";
  std::filesystem::create_directory(dir.File("records/20261101T000000.000Z-COM1-2.txt"));
  // Each with its report beside it, which goes when its record goes.
  for (const std::string name :
       {"20261207T120000.000Z-COM3-1", "20261206T235959.999Z-COM4-2", "20261207T110000.000Z-COM5-3"}) {
    ASSERT_TRUE(kept.Save(name + ".txt", "record", &error)) << error;
    ASSERT_TRUE(kept.Save(name + ".html", "report", &error)) << error;
  }
  const std::set<std::string> others = {"20261207T090000.000Z-COM9-7.txt.tmp", ".20261101T000000.000Z-COM1-1.txt",
                                        "20261101T000000.000Z-COM1-2.txt"};
  std::set<std::string> expected = {"20261207T110000.000Z-COM5-3.txt", "20261207T110000.000Z-COM5-3.html",
                                    "20261207T120000.000Z-COM3-1.txt", "20261207T120000.000Z-COM3-1.html",
                                    "20261207T100000.000Z-COM3-1.txt"};
  expected.insert(others.begin(), others.end());
  EXPECT_EQ(FilesIn(dir.File("records")), expected);
  EXPECT_EQ(RecordStore::kRecordsKept, 1000u);

  // The clock was set back: the record just written has the oldest name, and stays.
  ASSERT_TRUE(kept.Save("20261201T080000.000Z-COM6-4.txt", "record", &error)) << error;
  expected = {"20261201T080000.000Z-COM6-4.txt", "20261207T110000.000Z-COM5-3.txt", "20261207T110000.000Z-COM5-3.html",
              "20261207T120000.000Z-COM3-1.txt", "20261207T120000.000Z-COM3-1.html"};
  expected.insert(others.begin(), others.end());
  EXPECT_EQ(FilesIn(dir.File("records")), expected);
}

// Only an image read whole, as large as the folder says it is, gets a digest: one of part of a
// file would name an image that was never there.
TEST(ImageFacts, OnlyAnImageReadWholeIsDigested) {
  TempDir dir;
  std::ofstream(dir.File("PHONE.bin")) << "abc";
  struct Case {
    std::string path;
    bool readable;
    unsigned long long size;
    const char* sha256;
  };
  const Case cases[] = {
      {dir.File("PHONE.bin"), true, 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {dir.File("missing.bin"), false, 0, ""},
      {dir.Path(), false, 0, ""},
      // A file that reads more than its reported size of 0: what is read is not the file.
      {"/proc/self/status", false, 0, ""},
  };
  for (const Case& c : cases) {
    const ImageFacts facts = ReadImageFacts(c.path);
    EXPECT_EQ(facts.path, c.path);
    EXPECT_EQ(facts.readable, c.readable) << c.path;
    if (c.readable) {
      EXPECT_EQ(facts.size, c.size) << c.path;
    }
    EXPECT_EQ(facts.sha256, c.sha256) << c.path;
  }
}

}  // namespace
