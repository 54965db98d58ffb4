// The live settings file: every value comes back as written, the file is
// replaced whole, and a missing or bad file gives the defaults (a bad one
// with a warning naming the line).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/live_settings.h"
#include "support/log_capture.h"
#include "support/scratch.h"

namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

TEST(LiveSettingsFile, ValuesRoundTripAndTheFileIsReplacedWhole) {
  support::ScratchDir dir;
  const std::string path = dir.File("live.txt");
  LiveSettings changed;
  changed.gravity = 3.3f;  // not a short binary fraction
  changed.solverIterations = 17;
  changed.sleeping = false;
  changed.timeScale = 0.1f;
  changed.shotSpeed = 12.7f;
  changed.culling = false;
  changed.cullFrameMs = 1000.0f / 45.0f;
  Write(path, std::string(5000, '#'));  // a longer file is replaced, not overwritten in part
  ASSERT_TRUE(SaveLiveSettings(path, changed));
  EXPECT_TRUE(LoadLiveSettings(path) == changed);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_LT(std::filesystem::file_size(path), 400u);

  // Keys left out keep their defaults; comments and blank lines are skipped.
  Write(path, "# mine\n\n  gravity = 4.5 \r\nsleeping=false\n");
  LiveSettings expected;
  expected.gravity = 4.5f;
  expected.sleeping = false;
  EXPECT_TRUE(LoadLiveSettings(path) == expected);

  support::LogCapture log;
  EXPECT_TRUE(LoadLiveSettings(dir.File("absent.txt")) == LiveSettings());
  EXPECT_FALSE(log.Logged("live settings"));
  // A directory cannot be replaced by a file: the save fails with a warning.
  EXPECT_FALSE(SaveLiveSettings(dir.Path().string(), changed));
  EXPECT_TRUE(log.Logged("Cannot write the live settings"));
}

TEST(LiveSettingsFile, BadFilesGiveTheDefaultsWithAWarning) {
  support::ScratchDir dir;
  const std::string path = dir.File("live.txt");
  const char* const bad[] = {
      "gravity = 12\ngravty = 3\n",         // unknown key
      "solverIterations = 0\n",             // below its range
      "timeScale = 1.5\n",                  // above its range
      "shotSpeed = fast\n",                 // not a number
      "gravity = 9.8x\n",                   // trailing characters
      "culling = yes\n",                    // not true or false
      "cullFrameMs = nan\n",                // not finite
      "gravity 10\n",                       // no '='
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    Write(path, text);
    support::LogCapture log;
    EXPECT_TRUE(LoadLiveSettings(path) == LiveSettings());
    EXPECT_TRUE(log.Logged("Bad live settings file " + path));
  }
  Write(path, "gravity = 12\ngravty = 3\n");
  support::LogCapture log;
  LoadLiveSettings(path);
  EXPECT_TRUE(log.Logged("line 2: \"gravty = 3\""));
}

}  // namespace
