// The settings parser: every line form as a table of cases, then garbage,
// NUL bytes, very large files and the file reader.

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "settings.h"

namespace {

const std::string kPrefix = "Settings Parse Error: Invalid settings entry at line ";

std::string Message(int line, const std::string& text) {
  return kPrefix + std::to_string(line) + ": \"" + text + "\"\n";
}

struct Case {
  const char* what;
  std::string text;
  bool valid;
  int32_t width;
  int32_t height;
  double slowFrameTime;
  bool fullscreen;
  std::string message;  // expected errorMessage (empty when valid)
};

const double kSlow = 1.0 / 30.0;  // the default slow-frame threshold, seconds

std::vector<Case> Cases() {
  return {
      {"empty text", "", true, 800, 600, kSlow, false, ""},
      {"no final line feed", "screenWidth=640\nscreenHeight=480", true, 640, 480, kSlow, false, ""},
      {"final line feed", "screenWidth=640\nscreenHeight=480\n", true, 640, 480, kSlow, false, ""},
      {"carriage returns", "screenWidth=640\r\nscreenHeight=480\r\n", true, 640, 480, kSlow, false, ""},
      {"blank lines anywhere", "\n \t\r\nscreenWidth=1024\n\n\nscreenHeight=10\n \n", true, 1024, 10,
       kSlow, false, ""},
      {"only blanks and a carriage return", "   \r", true, 800, 600, kSlow, false, ""},
      {"blank lines count for numbering", "screenWidth=1024\n\nScreenHeight=7\n", false, 1024, 600,
       kSlow, false, Message(2, "ScreenHeight=7")},
      {"wrong case on the first line", "ScreenWidth=800", false, 800, 600, kSlow, false,
       Message(0, "ScreenWidth=800")},
      {"comments with and without indent", "# size\n   # indented\n#\n\t#tab\nscreenHeight=700", true,
       800, 700, kSlow, false, ""},
      {"comments count for numbering", "# one\n  # two\n\tbogus line\n", false, 800, 600, kSlow, false,
       Message(2, "\tbogus line")},
      {"fullscreen true", "fullscreen=true", true, 800, 600, kSlow, true, ""},
      {"fullscreen yes is accepted and changes nothing", "fullscreen=yes", true, 800, 600, kSlow,
       false, ""},
      {"fullscreen yes keeps an earlier true", "fullscreen=true\nfullscreen=yes", true, 800, 600,
       kSlow, true, ""},
      {"fullscreen false with a trailing comment", "fullscreen=true\nfullscreen = false # off", true,
       800, 600, kSlow, false, ""},
      {"blanks around equals, text after value", "screenWidth = 1024 extra", true, 1024, 600, kSlow,
       false, ""},
      {"tabs around key and value", "\t screenHeight\t=\t480\t", true, 800, 480, kSlow, false, ""},
      {"non-numeric width reads as 0", "screenWidth=abc", true, 0, 600, kSlow, false, ""},
      {"empty value reads as 0", "screenWidth=\nscreenHeight= \t", true, 0, 0, kSlow, false, ""},
      {"leading digits only", "screenWidth=640x\nscreenHeight=+12", true, 640, 12, kSlow, false, ""},
      {"negative size", "screenWidth=-640", true, -640, 600, kSlow, false, ""},
      {"huge sizes clamp", "screenWidth=99999999999999999999\nscreenHeight=-99999999999999999999",
       true, INT32_MAX, INT32_MIN, kSlow, false, ""},
      {"just past int32 clamps", "screenWidth=2147483648\nscreenHeight=-2147483649", true, INT32_MAX,
       INT32_MIN, kSlow, false, ""},
      {"slow frame time", "slowFrameTime=0.05", true, 800, 600, 0.05, false, ""},
      {"slow frame time with exponent", "slowFrameTime=1e-2", true, 800, 600, 0.01, false, ""},
      {"slow frame time not a number", "slowFrameTime=fast", true, 800, 600, 0.0, false, ""},
      {"text between key and equals is skipped", "screenWidth x = 7", true, 7, 600, kSlow, false, ""},
      {"no equals sign", "screenWidth", false, 800, 600, kSlow, false, Message(0, "screenWidth")},
      {"no equals after the key", "screenWidth 640", false, 800, 600, kSlow, false,
       Message(0, "screenWidth 640")},
      {"colon instead of equals", "screenHeight=300\nscreenWidth:640", false, 800, 300, kSlow, false,
       Message(1, "screenWidth:640")},
      {"empty key", "=640", false, 800, 600, kSlow, false, Message(0, "=640")},
      {"key broken by a blank", "screen Width=640", false, 800, 600, kSlow, false,
       Message(0, "screen Width=640")},
      {"unknown key", "colourDepth=32", false, 800, 600, kSlow, false, Message(0, "colourDepth=32")},
      {"invalid line keeps its carriage return in the message", "screenWidth=1\r\nbad\r\n", false, 1,
       600, kSlow, false, Message(1, "bad\r")},
      {"values before the invalid line stay", "screenWidth=320\nslowFrameTime=0.5\nfoo\nscreenHeight=1",
       false, 320, 600, 0.5, false, Message(2, "foo")},
      {"NUL ends the value", std::string("screenWidth=640\0junk", 20), true, 640, 600, kSlow, false,
       ""},
      {"line of NULs is blank", std::string("\0\0\nscreenWidth=5", 16), true, 5, 600, kSlow, false,
       ""},
      {"NUL inside the key", std::string("scr\0eenWidth=5", 14), false, 800, 600, kSlow, false,
       Message(0, std::string("scr\0eenWidth=5", 14))},
  };
}

TEST(ParseSettings, TableOfLineForms) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    const Settings s = ParseSettings(c.text);
    EXPECT_EQ(c.valid, s.valid);
    EXPECT_EQ(c.width, s.screenWidth);
    EXPECT_EQ(c.height, s.screenHeight);
    EXPECT_DOUBLE_EQ(c.slowFrameTime, s.slowFrameTime);
    EXPECT_EQ(c.fullscreen, s.fullscreen);
    EXPECT_EQ(c.message, s.errorMessage);
  }
}

// The lines of `text` as the parser numbers them.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

// Whatever the bytes, the parser returns, and a rejection names a real line
// of the input and quotes it exactly.
TEST(ParseSettings, BinaryGarbageIsRejectedCleanly) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> size(1, 600);
  int rejected = 0;
  for (int n = 0; n < 300; ++n) {
    std::string text(static_cast<size_t>(size(rng)), '\0');
    for (char& c : text) c = static_cast<char>(byte(rng));
    // Every few cases, make it look almost like a settings file.
    if (n % 3 == 0) text = "screenWidth=" + text;
    const Settings s = ParseSettings(text);
    if (s.valid) {
      EXPECT_TRUE(s.errorMessage.empty());
      continue;
    }
    ++rejected;
    ASSERT_EQ(0u, s.errorMessage.compare(0, kPrefix.size(), kPrefix));
    const size_t colon = s.errorMessage.find(':', kPrefix.size());
    ASSERT_NE(std::string::npos, colon);
    const int line = std::stoi(s.errorMessage.substr(kPrefix.size(), colon - kPrefix.size()));
    const std::vector<std::string> lines = SplitLines(text);
    ASSERT_LT(static_cast<size_t>(line), lines.size());
    EXPECT_EQ(Message(line, lines[line]), s.errorMessage);
  }
  EXPECT_GT(rejected, 100) << "garbage should mostly be rejected";
}

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path = (std::filesystem::temp_directory_path() /
            ("cleave_settings_" + std::to_string(::getpid()) + ".txt"))
               .string();
  }
  void TearDown() override { std::remove(path.c_str()); }

  void Write(const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }

  std::string path;
};

TEST_F(SettingsFile, MissingFileIsNotRead) {
  std::string text = "left over";
  EXPECT_FALSE(ReadTextFile(path, text));
  EXPECT_TRUE(text.empty());
}

TEST_F(SettingsFile, ReadsEveryByte) {
  const std::string bytes("a\0b\r\nc\xff\n", 8);
  Write(bytes);
  std::string text;
  ASSERT_TRUE(ReadTextFile(path, text));
  EXPECT_EQ(bytes, text);
}

TEST_F(SettingsFile, TenMegabytesOfCommentsThenAValue) {
  const std::string comment = "# padding padding padding padding padding padding padding\n";
  std::string big;
  big.reserve(10u << 20);
  while (big.size() < (10u << 20)) big += comment;
  big += "screenWidth=1234\n";
  Write(big);
  std::string text;
  ASSERT_TRUE(ReadTextFile(path, text));
  ASSERT_EQ(big.size(), text.size());
  const Settings s = ParseSettings(text);
  EXPECT_TRUE(s.valid) << s.errorMessage.substr(0, 200);
  EXPECT_EQ(1234, s.screenWidth);
}

TEST_F(SettingsFile, TenMegabyteLineWithoutEquals) {
  const std::string line(10u << 20, 'x');
  Write(line + "\n");
  std::string text;
  ASSERT_TRUE(ReadTextFile(path, text));
  const Settings s = ParseSettings(text);
  EXPECT_FALSE(s.valid);
  EXPECT_EQ(Message(0, line), s.errorMessage);
  EXPECT_EQ(800, s.screenWidth);
}

}  // namespace
