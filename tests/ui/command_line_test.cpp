#include "ui/command_line.h"

#include <gtest/gtest.h>

#include "ui/downloader_dlg.h"

namespace {

std::vector<CString> Words(std::initializer_list<const char*> words) { return {words.begin(), words.end()}; }

struct Accepted {
  std::vector<CString> arguments;
  int port;
  std::string code;
  std::string font;
  std::string fontAddress;
  const char* type;  // the combo item of the type given; null for none
  bool bootArea;
  bool start;
  bool batch;
  int stallSeconds;
  bool demo;
  std::string report = "";
  std::string trace = "";
  int eraseSeconds = 300;
  int modeWaitSeconds = 10;
};

TEST(CommandLine, TakesWhatTheOperatorWouldPick) {
  const Accepted cases[] = {
      {{}, 0, "", "", "", nullptr, false, false, false, 60, false},
      {Words({"--port", "7", "--code", "PHONE.bin", "--type", "normal", "--boot-area", "--start", "--demo"}), 7,
       "PHONE.bin", "", "", "NORMAL", true, true, false, 60, true},
      {Words({"--port=255", "--font=fonts/KOR.bin", "--font-address=0x1A0000", "--type=emergency"}), 255, "",
       "fonts/KOR.bin", "1A0000", "EMERGENCY", false, false, false, 60, false},
      {Words({"--batch", "--font", "f.bin", "--font-address", "ffffffff", "--stall-timeout", "5", "--erase-timeout",
              "900", "--report", "run.html", "--trace=frames.txt", "--mode-wait", "3"}),
       0, "", "f.bin", "ffffffff", nullptr, false, true, true, 5, false, "run.html", "frames.txt", 900, 3},
      // The window sends the code image of such a pair.
      {Words({"--start", "--code", "a.bin", "--font", "f.bin"}), 0, "a.bin", "f.bin", "", nullptr, false, true, false,
       60, false},
  };
  for (const Accepted& c : cases) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(c.arguments, &line, &error)) << error;
    const Preselection& pick = line.preselection;
    EXPECT_EQ(pick.port, c.port);
    EXPECT_EQ(pick.codePath, c.code);
    EXPECT_EQ(pick.fontPath, c.font);
    EXPECT_EQ(pick.fontAddress, c.fontAddress);
    EXPECT_STREQ(pick.downloadType ? pick.downloadType->comboText : nullptr, c.type);
    EXPECT_EQ(pick.bootArea, c.bootArea);
    EXPECT_EQ(pick.start, c.start) << "--batch presses Download too";
    EXPECT_EQ(line.batch, c.batch);
    EXPECT_EQ(line.stallSeconds, c.stallSeconds);
    EXPECT_EQ(line.eraseSeconds, c.eraseSeconds);
    EXPECT_EQ(line.modeWaitSeconds, c.modeWaitSeconds);
    EXPECT_EQ(pick.demo, c.demo);
    EXPECT_EQ(line.reportPath, c.report);
    EXPECT_EQ(line.tracePath, c.trace);
  }
}

TEST(CommandLine, RefusesWhatItCannotUseAndSaysWhy) {
  const std::pair<std::vector<CString>, const char*> cases[] = {
      {Words({"--colour"}), "unknown option --colour"},
      {Words({"-platform", "xcb"}), "unknown option -platform"},
      {Words({"PHONE.bin"}), "unknown option PHONE.bin"},
      {Words({"--port"}), "--port needs a value"},
      {Words({"--port", "0"}), "--port takes a COM port number from 1 to 255"},
      {Words({"--port", "256"}), "--port takes a COM port number from 1 to 255"},
      {Words({"--port", "3x"}), "--port takes a COM port number from 1 to 255"},
      {Words({"--port", "-3"}), "--port takes a COM port number from 1 to 255"},
      {Words({"--code="}), "--code needs a file"},
      {Words({"--type", "fast"}), "--type is emergency or normal"},
      {Words({"--font", "f.bin", "--font-address", "1A 0000"}), "--font-address takes up to 8 hexadecimal digits"},
      {Words({"--font", "f.bin", "--font-address", "123456789"}), "--font-address takes up to 8 hexadecimal digits"},
      {Words({"--font", "f.bin", "--font-address", "0x"}), "--font-address takes up to 8 hexadecimal digits"},
      {Words({"--font-address", "1A0000"}), "--font-address needs --font"},
      {Words({"--boot-area"}), "--boot-area needs --code"},
      {Words({"--start"}), "--start needs --code or --font"},
      {Words({"--batch", "--port", "3"}), "--batch needs --code or --font"},
      {Words({"--batch=yes"}), "--batch takes no value"},
      {Words({"--batch", "--code", "a.bin", "--font", "f.bin"}),
       "--batch sends one image per run: give --code or --font, not both"},
      {Words({"--code", "a.bin", "--stall-timeout", "0"}), "--stall-timeout takes seconds, 1 or more"},
      {Words({"--code", "a.bin", "--erase-timeout", "x"}), "--erase-timeout takes seconds, 1 or more"},
      {Words({"--code", "a.bin", "--report", "run.html"}), "--report needs --batch"},
      {Words({"--code", "a.bin", "--json"}), "--json needs --batch or --list-ports"},
      {Words({"--trace"}), "--trace needs a value"},
  };
  for (const auto& [arguments, reason] : cases) {
    CommandLine line;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(arguments, &line, &error)) << reason;
    EXPECT_EQ(error, reason);
  }
}

}  // namespace
