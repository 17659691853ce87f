#include "platform/kernel/text.h"

#include <gtest/gtest.h>

namespace {

TEST(CString, FormatsLikePrintfWhateverTheLength) {
  CString text;
  text.Format("COM%d", 12);
  EXPECT_EQ(text, "COM12");
  text.Format("\\\\.\\COM%d", 5);
  EXPECT_EQ(text, "\\\\.\\COM5");
  EXPECT_EQ(text.GetLength(), 8);
  const std::string longText(5000, 'x');
  text.Format("%s!", longText.c_str());
  EXPECT_EQ(text.GetLength(), 5001);
}

TEST(CString, KeepsKoreanTextAsUtf8Bytes) {
  CString text;
  text.Format("%s %d%%", "다운로드", 50);
  EXPECT_EQ(text, "다운로드 50%");
  EXPECT_EQ(text.GetLength(), 16);
  text.MakeLower();
  EXPECT_EQ(text, "다운로드 50%") << "only ASCII letters change case";
}

TEST(CString, ComparesAndTrims) {
  CString name("Phone.BIN  \r\n");
  name.TrimRight();
  EXPECT_EQ(name, "Phone.BIN");
  EXPECT_NE(name, "phone.bin");
  EXPECT_EQ(name.CompareNoCase("phone.bin"), 0);
  EXPECT_EQ(name.MakeLower(), "phone.bin");
  CString blank("   ");
  EXPECT_TRUE(blank.TrimRight().IsEmpty());
  // Trimming the characters of a file name stops at the separator before it.
  CString path("/home/tech/bin/phone.bin");
  EXPECT_EQ(path.TrimRight("phone.bin"), "/home/tech/bin/");
}

TEST(CString, ConcatenatesWithTextAndCharacters) {
  CString path("/home/tech");
  path += '/';
  path += "code.bin";
  EXPECT_EQ(path, "/home/tech/code.bin");
  EXPECT_EQ(CString("a") + "b" + CString("c"), "abc");
  EXPECT_EQ("x" + CString("y"), "xy");
  EXPECT_STREQ(static_cast<const char*>(path), "/home/tech/code.bin");
}

}  // namespace
