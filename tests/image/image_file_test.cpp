#include "image/image_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/images.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thread_probe.h"

namespace {

using testing_support::TempDir;

std::vector<BYTE> Image(const char* tag, std::size_t size, DWORD firstAreaLength = 0, DWORD loadAddress = 0,
                        DWORD displayNumber = 0) {
  return testing_support::MakeImage({tag, static_cast<DWORD>(size), firstAreaLength, loadAddress, 0, displayNumber});
}

std::string Write(const TempDir& dir, const std::string& name, const std::vector<BYTE>& bytes) {
  testing_support::WriteBytes(dir.File(name), bytes);
  return dir.File(name);
}

class ImageFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  CImageFile image;
};

TEST_F(ImageFileTest, AcceptsEachOfTheFourTags) {
  for (const char* tag : {"CODE", "ADLL", "RESC", "STRS"}) {
    EXPECT_TRUE(image.Open(CString(Write(dir, std::string(tag) + ".bin", Image(tag, 100)).c_str()))) << tag;
  }
  EXPECT_TRUE(image.Problem().IsEmpty());
}

TEST_F(ImageFileTest, RefusesOtherTagsSilently) {
  for (const char* tag : {"strs", "code", "CODX", "ADL ", "RESc", "\0ODE"}) {
    EXPECT_FALSE(image.Open(CString(Write(dir, "x.bin", Image(tag, 100)).c_str()))) << tag;
  }
  EXPECT_TRUE(image.Problem().IsEmpty());
}

TEST_F(ImageFileTest, RefusesFilesShorterThanTheHeaderSilently) {
  const std::vector<BYTE> whole = Image("CODE", 64);
  for (std::size_t length = 0; length < 64; ++length) {
    const std::vector<BYTE> cut(whole.begin(), whole.begin() + length);
    EXPECT_FALSE(image.Open(CString(Write(dir, "short.bin", cut).c_str()))) << length;
  }
  EXPECT_TRUE(image.Open(CString(Write(dir, "header.bin", whole).c_str())));
  EXPECT_TRUE(image.Problem().IsEmpty());
}

TEST_F(ImageFileTest, OpenTakesTheHeaderFieldsAndTheFileSize) {
  const std::string path = Write(dir, "code.bin", Image("CODE", 65536, 65536, 0xFFFF0000, 4021));
  ASSERT_TRUE(image.Open(CString(path.c_str())));
  EXPECT_EQ(image.m_dwFileSize, 65536u);
  EXPECT_EQ(image.m_dwFirstAreaLength, 65536u);
  EXPECT_EQ(image.m_dwLoadAddress, 0xFFFF0000u);
  EXPECT_EQ(image.m_dwDisplayNumber, 4021u);
  EXPECT_EQ(image.m_strPath, path.c_str());
  EXPECT_EQ(image.m_file.m_hFile, CFile::hFileNull) << "the file is closed again";
}

TEST_F(ImageFileTest, ARefusedOpenClearsTheSizesButKeepsTheLoadAddress) {
  ASSERT_TRUE(image.Open(CString(Write(dir, "a.bin", Image("CODE", 200, 150, 0x1234, 9)).c_str())));
  EXPECT_FALSE(image.Open(CString(Write(dir, "b.bin", Image("JUNK", 300, 250, 0x9999, 8)).c_str())));
  EXPECT_EQ(image.m_dwFileSize, 0u);
  EXPECT_EQ(image.m_dwFirstAreaLength, 0u);
  EXPECT_EQ(image.m_dwDisplayNumber, 0u);
  EXPECT_EQ(image.m_dwLoadAddress, 0x1234u);
}

TEST_F(ImageFileTest, AMissingFileAFolderOrAFifoTellsTheOperator) {
  ASSERT_EQ(mkfifo(dir.File("fifo.bin").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.File("folder.bin").c_str(), 0700), 0);
  for (const std::string& path : {dir.File("nowhere.bin"), dir.File("folder.bin"), dir.File("fifo.bin")}) {
    EXPECT_FALSE(image.Open(CString(path.c_str())));
    EXPECT_EQ(image.Problem(), (" Fail to read from " + path + "\n Please Check bin_file !").c_str());
  }
}

TEST_F(ImageFileTest, ReadBlockReadsAtAreaStartPlusBlockNumberBlocks) {
  const std::vector<BYTE> bytes = Image("CODE", 20000);
  ASSERT_TRUE(image.Open(CString(Write(dir, "code.bin", bytes).c_str())));
  ImageBlock block{};
  ASSERT_TRUE(image.ReadBlock(0, 2, &block));
  EXPECT_EQ(DWORD{block.offset}, 16384u);
  EXPECT_EQ(WORD{block.count}, 3616);
  EXPECT_TRUE(std::equal(bytes.begin() + 16384, bytes.end(), block.data));

  ASSERT_TRUE(image.ReadBlock(0, 0, &block));
  EXPECT_EQ(DWORD{block.offset}, 0u);
  EXPECT_EQ(WORD{block.count}, 8192);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 8192, block.data)) << "the header is part of the image";
  EXPECT_EQ(image.m_file.m_hFile, CFile::hFileNull);
}

TEST_F(ImageFileTest, ReadBlockAtOrBeyondTheEndGivesACountOfZero) {
  ASSERT_TRUE(image.Open(CString(Write(dir, "code.bin", Image("CODE", 0x10000)).c_str())));
  ImageBlock block{};
  ASSERT_TRUE(image.ReadBlock(0x10000, 0, &block));
  EXPECT_EQ(DWORD{block.offset}, 0x10000u);
  EXPECT_EQ(WORD{block.count}, 0);
  ASSERT_TRUE(image.ReadBlock(0x10000, 5, &block));
  EXPECT_EQ(WORD{block.count}, 0);
  // 32-bit arithmetic: the offset wraps rather than reading somewhere else.
  ASSERT_TRUE(image.ReadBlock(0xFFFFE000, 1, &block));
  EXPECT_EQ(DWORD{block.offset}, 0u);
  EXPECT_EQ(WORD{block.count}, 8192);
}

TEST_F(ImageFileTest, ReadBlockChecksTheHeaderAgain) {
  const std::string path = Write(dir, "code.bin", Image("CODE", 9000));
  ASSERT_TRUE(image.Open(CString(path.c_str())));
  Write(dir, "code.bin", Image("OOPS", 9000));
  ImageBlock block{};
  EXPECT_FALSE(image.ReadBlock(0, 0, &block));
  EXPECT_TRUE(image.Problem().IsEmpty()) << "refused, not unreadable";
  std::remove(path.c_str());
  EXPECT_FALSE(image.ReadBlock(0, 0, &block));
  EXPECT_EQ(image.Problem(), (" Fail to read from " + path + "\n Please Check bin_file !").c_str());
}

TEST_F(ImageFileTest, NoDescriptorStaysOpenWhateverTheOutcome) {
  const std::string good = Write(dir, "good.bin", Image("RESC", 30000));
  const std::string wrongTag = Write(dir, "bad.bin", Image("NOPE", 30000));
  const std::string tooShort = Write(dir, "short.bin", std::vector<BYTE>(10, 'C'));
  const int before = testing_support::OpenDescriptorCount();
  ImageBlock block{};
  for (int round = 0; round < 50; ++round) {
    image.Open(CString(good.c_str()));
    image.ReadBlock(0, round % 5, &block);
    image.Open(CString(wrongTag.c_str()));
    image.ReadBlock(0, 0, &block);
    image.Open(CString(tooShort.c_str()));
    EXPECT_EQ(testing_support::OpenDescriptorCount(), before) << "round " << round;
  }
}

}  // namespace
