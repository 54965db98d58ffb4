// The settings parser: every line form as a table of cases, then garbage,
// NUL bytes, very large files and the file reader.

#include <climits>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/settings.h"

namespace {

const std::string kPrefix = "Settings Parse Error: Invalid settings entry at line ";

std::string Bad(int line, const std::string& text) { return kPrefix + std::to_string(line) + ": \"" + text + "\"\n"; }

constexpr double kSlow = 1.0 / 30.0;  // the default slow-frame threshold, seconds

struct Case {
  const char* what;
  std::string text;
  int32_t width, height;
  std::string message;  // expected errorMessage; empty when the file is valid
  double slowFrameTime = kSlow;
  bool fullscreen = false;
};

TEST(ParseSettings, TableOfLineForms) {
  const std::vector<Case> cases = {
      {"empty text", "", 800, 600, ""},
      {"no final line feed", "screenWidth=640\nscreenHeight=480", 640, 480, ""},
      // Blank lines (the final line feed included) are skipped but still counted.
      {"final line feed", "screenWidth=640\nscreenHeight=480\n", 640, 480, ""},
      {"carriage returns", "screenWidth=640\r\nscreenHeight=480\r\n", 640, 480, ""},
      {"blank lines anywhere", "\n \t\r\nscreenWidth=1024\n\n\nscreenHeight=10\n \n", 1024, 10, ""},
      {"blank lines count for numbering", "screenWidth=1024\n\nScreenHeight=7\n", 1024, 600, Bad(2, "ScreenHeight=7")},
      {"comments count for numbering", "# one\n  # two\n#\n\tbogus line\n", 800, 600, Bad(3, "\tbogus line")},
      {"comments with indent", "# size\n\t#tab\nscreenHeight=700", 800, 700, ""},
      {"fullscreen yes changes nothing", "fullscreen=yes", 800, 600, ""},
      {"fullscreen yes keeps an earlier true", "fullscreen=true\nfullscreen=yes", 800, 600, "", kSlow, true},
      {"fullscreen false with a comment", "fullscreen=true\nfullscreen = false # off", 800, 600, ""},
      {"blanks, tabs and trailing text", "screenWidth = 1024 extra\n\t screenHeight\t=\t480\t", 1024, 480, ""},
      {"non-numeric or empty values read as 0", "screenWidth=abc\nscreenHeight= \t", 0, 0, ""},
      {"leading digits only", "screenWidth=640x\nscreenHeight=+12", 640, 12, ""},
      {"negative size", "screenWidth=-640", -640, 600, ""},
      {"huge sizes clamp", "screenWidth=99999999999999999999\nscreenHeight=-2147483649", INT32_MAX, INT32_MIN, ""},
      {"slow frame time with exponent", "slowFrameTime=1e-2", 800, 600, "", 0.01},
      {"slow frame time not a number", "slowFrameTime=fast", 800, 600, "", 0.0},
      {"text between key and equals is skipped", "screenWidth x = 7", 7, 600, ""},
      {"wrong case", "ScreenWidth=800", 800, 600, Bad(0, "ScreenWidth=800")},
      {"no equals after the key", "screenWidth 640", 800, 600, Bad(0, "screenWidth 640")},
      {"colon instead of equals", "screenHeight=300\nscreenWidth:640", 800, 300, Bad(1, "screenWidth:640")},
      {"empty key", "=640", 800, 600, Bad(0, "=640")},
      {"key broken by a blank", "screen Width=640", 800, 600, Bad(0, "screen Width=640")},
      {"unknown key", "colourDepth=32", 800, 600, Bad(0, "colourDepth=32")},
      {"quote leaves out the CRLF ending", "screenWidth=1\r\nbad \r\r\n", 1, 600, Bad(1, "bad \r")},
      {"values before the invalid line stay", "screenWidth=320\nslowFrameTime=0.5\nfoo\nscreenHeight=1", 320, 600,
       Bad(2, "foo"), 0.5},
      {"NUL ends the value", std::string("screenWidth=640\0junk", 20), 640, 600, ""},
      {"line of NULs is blank", std::string("\0\0\nscreenWidth=5", 16), 5, 600, ""},
      {"NUL inside the key", std::string("scr\0eenWidth=5", 14), 800, 600, Bad(0, std::string("scr\0eenWidth=5", 14))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Settings s = ParseSettings(c.text);
    EXPECT_EQ(c.message.empty(), s.valid);
    EXPECT_EQ(c.message, s.errorMessage);
    EXPECT_EQ(c.width, s.screenWidth);
    EXPECT_EQ(c.height, s.screenHeight);
    EXPECT_DOUBLE_EQ(c.slowFrameTime, s.slowFrameTime);
    EXPECT_EQ(c.fullscreen, s.fullscreen);
  }
}

// Whatever the bytes, the parser returns, and a rejection names a real line
// of the input and quotes it exactly.
TEST(ParseSettings, BinaryGarbageIsRejectedCleanly) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> byte(0, 255), size(1, 600);
  int rejected = 0;
  for (int n = 0; n < 300; ++n) {
    std::string text(static_cast<size_t>(size(rng)), '\0');
    for (char& c : text) c = static_cast<char>(byte(rng));
    if (n % 3 == 0) text = "screenWidth=" + text;  // almost a settings file
    const Settings s = ParseSettings(text);
    if (s.valid) {
      EXPECT_TRUE(s.errorMessage.empty());
      continue;
    }
    ++rejected;
    ASSERT_EQ(0u, s.errorMessage.compare(0, kPrefix.size(), kPrefix));
    const int line = std::stoi(s.errorMessage.substr(kPrefix.size()));
    size_t start = 0;
    for (int i = 0; i < line; ++i, ++start) ASSERT_NE(std::string::npos, start = text.find('\n', start));
    std::string quoted = text.substr(start, text.find('\n', start) - start);
    if (!quoted.empty() && quoted.back() == '\r') quoted.pop_back();  // the CRLF ending is not quoted
    EXPECT_EQ(Bad(line, quoted), s.errorMessage);
  }
  EXPECT_GT(rejected, 100) << "garbage should mostly be rejected";
}

// The test runs in a temporary working directory of its own.
TEST(ReadTextFile, ReadsEveryByteOfSmallAndTenMegabyteFiles) {
  std::string text = "left over";
  EXPECT_FALSE(ReadTextFile("missing_settings.txt", text));
  EXPECT_TRUE(text.empty());

  const std::string bytes("a\0b\r\nc\xff\n", 8);
  std::ofstream("bytes.txt", std::ios::binary) << bytes;
  ASSERT_TRUE(ReadTextFile("bytes.txt", text));
  EXPECT_EQ(bytes, text);

  std::string comments;
  while (comments.size() < (10u << 20)) comments += "# padding padding padding padding padding padding padding\n";
  const std::string longLine(10u << 20, 'x');
  std::ofstream("big.txt", std::ios::binary) << comments << "screenWidth=1234\n";
  std::ofstream("long.txt", std::ios::binary) << longLine << "\n";
  ASSERT_TRUE(ReadTextFile("big.txt", text));
  ASSERT_EQ(comments.size() + 17, text.size());
  Settings s = ParseSettings(text);
  EXPECT_TRUE(s.valid) << s.errorMessage.substr(0, 200);
  EXPECT_EQ(1234, s.screenWidth);
  ASSERT_TRUE(ReadTextFile("long.txt", text));
  s = ParseSettings(text);
  EXPECT_EQ(Bad(0, longLine), s.errorMessage);
  EXPECT_EQ(800, s.screenWidth);
}

}  // namespace
