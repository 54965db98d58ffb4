// Starting the real program when something is off: a broken or missing
// shader, a data folder without shaders/, a bad settings value, a working
// directory without the data, a machine without a sound card. Each run is
// short; the program's own exit code and output are what is checked.

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

// Whether some error line holds every given text.
bool SomeErrorNames(const std::vector<std::string>& errors, const std::vector<std::string>& texts) {
  for (const std::string& line : errors) {
    bool all = true;
    for (const std::string& text : texts) all = all && line.find(text) != std::string::npos;
    if (all) return true;
  }
  return false;
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

TEST_F(StartUpE2eTest, BrokenShaderOrMissingShaderFolderEndsTheRunNamingTheFile) {
  const fs::path source(CLEAVE_SOURCE_DIR), data = run.dir.Path() / "data";
  const fs::path broken = data / "shaders" / "simple_ssao_frag.glsl";
  const fs::path missing = data / "shaders" / "shadow_gen_vert.glsl";
  fs::create_directory(data);
  fs::copy(source / "shaders", data / "shaders");
  fs::create_directory_symlink(source / "assets", data / "assets");
  // Only the compiler knows this name: it shows that its message is passed on.
  std::ofstream(broken, std::ios::app) << "void Broken() { undeclared_name_xyz = 1.0; }\n";
  fs::remove(missing);
  ASSERT_TRUE(run.StartProgram({"--frames", "30"}, {"CLEAVE_DATA_DIR=" + data.string()}));
  EXPECT_EQ(run.WaitExit(kRunTimeout), 1) << run.Log();
  std::vector<std::string> errors = ErrorLines(run.Log());
  EXPECT_EQ(errors.size(), 2u) << run.Log();
  EXPECT_TRUE(SomeErrorNames(errors, {broken.string(), "undeclared_name_xyz"})) << run.Log();
  EXPECT_TRUE(SomeErrorNames(errors, {missing.string()})) << run.Log();

  // Without shaders/ at all: one message naming where it is missing.
  fs::remove_all(data / "shaders");
  ASSERT_TRUE(run.StartProgram({"--frames", "30"}, {"CLEAVE_DATA_DIR=" + data.string()}));
  EXPECT_EQ(run.WaitExit(kRunTimeout), 1) << run.Log();
  errors = ErrorLines(run.Log());
  EXPECT_EQ(errors.size(), 1u) << run.Log();
  EXPECT_TRUE(SomeErrorNames(errors, {(data / "shaders").string()})) << run.Log();
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
