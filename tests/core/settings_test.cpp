// The settings parser: a table of line forms, each through the check of the
// rejection message that tests/fuzz/settings_fuzz.cpp applies to arbitrary
// input, and the file reader on large files.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/settings.h"

namespace {

using namespace std::string_literals;

const std::string kPrefix = "Settings Parse Error: Invalid settings entry at line ";

// A valid result has no message; a rejection names a line of the text
// (numbered from 0) and quotes it: whole up to 200 bytes, else its first 200
// bytes and "...". Returns the line named, or -1.
int CheckMessage(const std::string& text, const Settings& s) {
  if (s.valid) {
    EXPECT_EQ("", s.errorMessage);
    return -1;
  }
  EXPECT_EQ(0u, s.errorMessage.compare(0, kPrefix.size(), kPrefix)) << s.errorMessage;
  const int line = std::atoi(s.errorMessage.c_str() + kPrefix.size());
  size_t start = 0;
  for (int i = 0; i < line && start != std::string::npos; ++i) {
    start = text.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  EXPECT_NE(std::string::npos, start) << "line " << line << " is past the text";
  if (start == std::string::npos) return line;
  std::string quoted = text.substr(start, text.find('\n', start) - start);
  if (!quoted.empty() && quoted.back() == '\r') quoted.pop_back();  // a CRLF ending is not quoted
  const bool cut = quoted.size() > 200;
  std::string escaped;  // printable ASCII as it is, a backslash doubled, any other byte \xNN
  for (const unsigned char c : quoted.substr(0, 200))
    escaped += c == '\\' ? "\\\\" : c >= 32 && c < 127 ? std::string(1, char(c))
             : "\\x"s + "0123456789ABCDEF"[c >> 4] + "0123456789ABCDEF"[c & 15];
  EXPECT_EQ(kPrefix + std::to_string(line) + ": \"" + escaped + (cut ? "..." : "") + "\"\n",
            s.errorMessage);
  return line;
}

TEST(ParseSettings, TableOfLineForms) {
  const double kSlow = 1.0 / 30.0;  // the default slow-frame threshold, seconds
  struct Case {
    std::string text;
    int32_t width, height;
    int badLine;  // -1: valid
    double slowFrameTime = 1.0 / 30.0;
    bool fullscreen = false;
  };
  const std::vector<Case> cases = {
      {"", 800, 600, -1},
      {"\n \t\r\nscreenWidth=1024\r\n\n\nscreenHeight=10\n \n", 1024, 10, -1},  // blank lines, no final feed
      {"screenWidth=1024\n\nScreenHeight=7\n", 1024, 600, 2},  // blank lines count; keys are case-sensitive
      {"# one\n  # two\n#\n\tbogus line\n", 800, 600, 3},       // so do comments
      {"fullscreen=true\nfullscreen=yes", 800, 600, -1, kSlow, true},  // "yes" changes nothing
      {"screenWidth = 1024 \r\n\t screenHeight\t=\t+480\t", 1024, 480, -1},  // blanks around
      // Trailing text, a key with more after it, numbers that are not whole.
      {"screenWidth=640 480", 800, 600, 0},
      {"screenWidth.junk=640", 800, 600, 0},
      {"screenHeight=480x", 800, 600, 0},
      {"screenWidth=6.4e2", 800, 600, 0},
      {"slowFrameTime=0.5s", 800, 600, 0},
      {"fullscreen=true false", 800, 600, 0},
      {"bad\\\x1b[2J\xff\tline", 800, 600, 0},  // quoted escaped
      {"screenWidth=16384\nscreenHeight=1", 16384, 1, -1},  // the largest and smallest sizes
      // Sizes outside 1 .. 16384 and slow-frame times that are not positive
      // and finite are rejected; the values of the lines before stay.
      {"screenHeight=300\nscreenWidth=0", 800, 300, 1},
      {"screenWidth=abc", 800, 600, 0},
      {"screenHeight= \t", 800, 600, 0},
      {"screenWidth=-640", 800, 600, 0},
      {"screenWidth=16385", 800, 600, 0},
      {"screenHeight=-2147483649", 800, 600, 0},
      {"screenWidth=4294967297", 800, 600, 0},  // 2^32 + 1: wrapped to 32 bits it would read 1
      {"slowFrameTime=0.5\nslowFrameTime=nan", 800, 600, 1, 0.5},
      {"slowFrameTime=-1", 800, 600, 0},
      {"slowFrameTime=0", 800, 600, 0},
      {"slowFrameTime=inf", 800, 600, 0},
      {std::string(300, 'q'), 800, 600, 0},  // quoted in part
      {"slowFrameTime=1e-2\nscreenWidth x = 7", 800, 600, 1, 0.01},
      {"screenHeight=300\nscreenWidth:640", 800, 300, 1},
      {"screenWidth=1\r\nbad \r\r\n", 1, 600, 1},  // the quote leaves out the CRLF ending only
      {"screenWidth=320\nslowFrameTime=0.5\nfoo\nscreenHeight=1", 320, 600, 2, 0.5},
      {"screenWidth=640\n\0\0\nscreenHeight=5"s, 640, 5, -1},  // NULs alone make a blank line
      {"screenWidth=640\0junk"s, 800, 600, 0},
      {"scr\0eenWidth=5"s, 800, 600, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Settings s = ParseSettings(c.text);
    EXPECT_EQ(c.badLine, CheckMessage(c.text, s));
    EXPECT_EQ(c.width, s.screenWidth);
    EXPECT_EQ(c.height, s.screenHeight);
    EXPECT_DOUBLE_EQ(c.slowFrameTime, s.slowFrameTime);
    EXPECT_EQ(c.fullscreen, s.fullscreen);
  }
}

TEST(ReadTextFile, ReadsEveryByteOfSmallAndTenMegabyteFiles) {
  std::string text = "left over";
  EXPECT_FALSE(ReadTextFile("missing_settings.txt", text));
  EXPECT_TRUE(text.empty());
  const std::string bytes("a\0b\r\nc\xff\n", 8);
  std::ofstream("bytes.txt", std::ios::binary) << bytes;
  ASSERT_TRUE(ReadTextFile("bytes.txt", text));
  EXPECT_EQ(bytes, text);

  // Ten megabytes of comments, then a setting; then one ten-megabyte line.
  std::string comments;
  while (comments.size() < (10u << 20)) comments += "# padding padding padding padding padding padding padding\n";
  std::ofstream("big.txt", std::ios::binary) << comments << "screenWidth=1234\n" << std::string(10u << 20, 'x');
  ASSERT_TRUE(ReadTextFile("big.txt", text));
  ASSERT_EQ(comments.size() + 17 + (10u << 20), text.size());
  const Settings s = ParseSettings(text);
  EXPECT_EQ(1234, s.screenWidth);
  EXPECT_EQ(int(comments.size() / 58) + 1, CheckMessage(text, s));
}

}  // namespace
