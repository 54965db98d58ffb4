// Starting the real program when something is off: a data folder without
// shaders/, a bad settings value, a working directory without the data, a
// machine without a sound card. (A broken or missing shader file: the
// renderer's test in graphics_gl_test.cpp.) Each run is short; the program's
// own exit code and output are what is checked.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/scene_e2e_support.h"

namespace {

namespace fs = std::filesystem;

constexpr double kRunTimeout = 240.0;  // seconds for a 30-frame run on a loaded machine

std::vector<std::string> ErrorLines(const std::string& log) {
  std::vector<std::string> errors;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("ERROR: ", 0) == 0) errors.push_back(line);
  return errors;
}

class StartUpE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no X to test under";
    if (std::system("command -v Xvfb >/dev/null") != 0) GTEST_SKIP() << "Xvfb is missing";
    ASSERT_TRUE(run.StartDisplay()) << "private Xvfb did not start";
  }
  e2e::SceneRun run;
};

}  // namespace

TEST_F(StartUpE2eTest, MissingShaderFolderEndsTheRunNamingIt) {
  const fs::path data = run.dir.Path() / "data";
  fs::create_directory(data);
  fs::create_directory_symlink(fs::path(CLEAVE_SOURCE_DIR) / "assets", data / "assets");
  ASSERT_TRUE(run.StartProgram({"--frames", "30"}, {"CLEAVE_DATA_DIR=" + data.string()}));
  EXPECT_EQ(run.WaitExit(kRunTimeout), 1) << run.Log();
  const std::vector<std::string> errors = ErrorLines(run.Log());
  EXPECT_TRUE(errors.size() == 1u && errors[0].find((data / "shaders").string()) != std::string::npos) << run.Log();
}

// The working directory holds neither shaders/ nor assets/: the program
// finds them above build/, where it is built. OpenAL Soft picks its own
// drivers (the runner's null driver is undone), as it does for a user.
TEST_F(StartUpE2eTest, RunsFromAnotherFolderWithDefaultsForABadSettingAndNoAudioNoise) {
  fs::remove(run.dir.Path() / "shaders");
  fs::remove(run.dir.Path() / "assets");
  std::ofstream(run.dir.Path() / "settings.txt") << "screenWidth=0\n";
  ASSERT_TRUE(run.StartProgram({"--frames", "30"}, {"ALSOFT_DRIVERS="}));
  ASSERT_EQ(run.WaitExit(kRunTimeout), 0) << run.Log();
  const std::string log = run.Log();
  EXPECT_NE(log.find("Settings Parse Error: Invalid settings entry at line 0: \"screenWidth=0\"\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(ErrorLines(log).empty()) << log;
  EXPECT_EQ(log.find("ALSA lib"), std::string::npos) << log;
  EXPECT_EQ(log.find("AL lib"), std::string::npos) << log;
  if (!fs::exists("/dev/snd")) {
    EXPECT_NE(log.find("No sound device: running without sound\n"), std::string::npos) << log;
  }
}
