// Starting the real program when something is off: a data folder without
// shaders/, a bad settings value, a working directory without the data, a
// machine without a sound card, a damaged scene file or recording; and
// starting it from session files: a replayed cut ends the run by itself on
// the recording's last frame and is saved, and the saved scene loads where
// it was. (A broken or missing shader file: the
// renderer's test in graphics_gl_test.cpp.) Each run is short; the program's
// own exit code and output are what is checked.

#include <cmath>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/scene_e2e_support.h"
#include "support/scratch.h"

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
  // Runs the program to its end; its exit code.
  int RunToEnd(const std::vector<std::string>& args) {
    return run.StartProgram(args) ? run.WaitExit(kRunTimeout) : -1;
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

// Outputs and inputs that cannot be used end the run with exit 1 and a
// message, in under 1 GiB of memory; the slicer's standard output is its
// JSON alone, whatever settings.txt holds.
TEST_F(StartUpE2eTest, BadModelsAndUnwritableOutputsEndTheRunWithExitOne) {
  const fs::path dir = run.dir.Path();
  std::ofstream(dir / "settings.txt") << "screenWidth=640 480\n";
  std::ofstream(dir / "tet.off") << "OFF\n4 4 0\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n3 0 2 1\n3 0 1 3\n3 0 3 2\n3 1 2 3\n";
  std::ofstream(dir / "huge.off") << "OFF\n353000000000 1 0\n" << std::string(284, '0') << "\n";
  fs::create_directories(dir / "taken" / "tet_front_0.obj");  // a part's name is a folder
  // assimp's DirectX reader takes a segmentation fault on it.
  fs::copy_file(fs::path(CLEAVE_SOURCE_DIR) / "tests/data/malformed/cube_compressed_bad.x",
                dir / "bad.x");
  const struct {
    std::string args;
    int status;
    const char* says;  // in standard error
  } cases[] = {
      {"--slice tet.off --plane 1,0,0,0.25 --out parts", 0, "Settings Parse Error"},
      {"--slice huge.off --plane 1,0,0,0 --out parts", 1, "declares 353000000000 vertices"},
      {"--slice tet.off --plane 1,0,0,0.25 --out taken", 1, "tet_front_0.obj"},
      {"--frames 30 --model huge.off", 1, "declares 353000000000 vertices"},
      {"--slice bad.x --plane 1,0,0,0 --out parts", 1, "the importer stopped on signal 11"},
      {"--frames 30 --model bad.x", 1, "the importer stopped on signal 11"},
      {"--frames 30 --dump-scene no/such/folder/dump.jsonl", 1, "cannot write the scene dump"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string command = "cd '" + dir.string() + "' && ulimit -v 1048576 && '" +
                                CLEAVE_BINARY_DIR + "/cleave' " + c.args + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status);
    const std::string out = support::ReadFile(dir / "out.txt"), err = support::ReadFile(dir / "err.txt");
    EXPECT_NE((out + err).find(c.says), std::string::npos) << out << err;
    if (c.args.rfind("--slice", 0) == 0) {
      EXPECT_TRUE(c.status == 0 ? out.rfind("{\"model\":", 0) == 0 && out.find('\n') == out.size() - 1
                                : out.empty()) << out;
    }
  }
  EXPECT_FALSE(fs::exists(dir / "no"));
}

// Render targets the GL cannot make (16384 x 16384: 1 GiB each, in an
// address space of 4 GiB) end the start-up with one error naming the size,
// before the scene is made, and exit 1.
TEST_F(StartUpE2eTest, RenderTargetsTheGlCannotMakeEndTheRunWithExitOne) {
  std::ofstream(run.dir.File("settings.txt")) << "screenWidth=16384\nscreenHeight=16384\n";
  const std::string command = "cd '" + run.dir.Path().string() + "' && ulimit -v 4194304 && DISPLAY=" +
                              run.Display() + " ALSOFT_DRIVERS=null timeout " +
                              std::to_string(int(kRunTimeout)) + " '" + CLEAVE_BINARY_DIR +
                              "/cleave' --frames 30 >out.log 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << run.Log();
  const std::vector<std::string> errors = ErrorLines(run.Log());
  EXPECT_TRUE(errors.size() == 1u &&
              errors[0].find("cannot make the 16384 x 16384 render targets") != std::string::npos)
      << run.Log();
  for (const char* later : {"randomNormTex", "renderTime"})  // the scene's textures, a frame drawn
    EXPECT_EQ(run.Log().find(later), std::string::npos) << run.Log();
}

TEST_F(StartUpE2eTest, ReplayedCutIsSavedAndLoadsWhereItWas) {
  // A left drag across the three start objects on frames 120 to 140.
  std::ofstream recording(run.dir.File("cut.txt"));
  recording << "cleave-recording 1\nseed 12345\nF 1 0 0 0\n";
  for (int k = 0; k <= 20; ++k) recording << "F " << 120 + k << " " << -0.6 + 0.06 * k << " -0.1 1\n";
  recording << "F 141 0.6 -0.1 0\nE 200\n";
  recording.close();
  ASSERT_EQ(RunToEnd({"--replay", "cut.txt", "--save-scene", "cut.glb", "--dump-scene", "cut.jsonl"}), 0) << run.Log();
  EXPECT_NE(run.Log().find("Replay matches the recording: 0 seconds compared"), std::string::npos) << run.Log();
  const e2e::SceneDump saved(support::ReadFile(run.dir.File("cut.jsonl")));
  ASSERT_GE(saved.CountPrefix("split_obj_"), 1) << run.Log();

  ASSERT_EQ(RunToEnd({"--load-scene", "cut.glb", "--frames", "1", "--dump-scene", "load.jsonl"}), 0) << run.Log();
  const e2e::SceneDump loaded(support::ReadFile(run.dir.File("load.jsonl")));
  ASSERT_EQ(loaded.objects.size(), saved.objects.size());
  for (size_t k = 0; k < saved.objects.size(); ++k) {
    const e2e::DumpedObject &a = saved.objects[k], &b = loaded.objects[k];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.Get("number"), b.Get("number")) << a.name;
    EXPECT_EQ(a.Get("mass"), b.Get("mass")) << a.name;
    EXPECT_EQ(a.Get("triangles"), b.Get("triangles")) << a.name;
    // One frame on: the physics thread runs beside the frame, so a loaded
    // machine may fit a second step (or a third) into it.
    const double speed = std::isfinite(a.Get("speed")) ? a.Get("speed") : 0.0;  // null: no body
    const double reach = 0.01 + 3.0 / 60.0 * speed;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(a.Get("position", i), b.Get("position", i), reach) << a.name;
  }
}

TEST_F(StartUpE2eTest, DamagedFilesEndTheRunNamingThem) {
  std::ofstream(run.dir.File("bad.glb")) << "glTF but not really";
  EXPECT_EQ(RunToEnd({"--load-scene", "bad.glb", "--frames", "30"}), 1);
  EXPECT_EQ(e2e::CountLines(run.Log(), "ERROR: "), 1) << run.Log();
  EXPECT_NE(run.Log().find("the scene file bad.glb cannot be loaded"), std::string::npos) << run.Log();

  std::ofstream(run.dir.File("bad.txt")) << "cleave-recording 1\nF 1 0 0\n";
  EXPECT_EQ(RunToEnd({"--replay", "bad.txt"}), 1);
  EXPECT_EQ(e2e::CountLines(run.Log(), "ERROR: "), 1) << run.Log();
  EXPECT_NE(run.Log().find("the recording bad.txt cannot be replayed: line 2"), std::string::npos) << run.Log();
}

TEST_F(StartUpE2eTest, PausedSceneStepsOnceOnOAndHomeBringsTheCameraBack) {
  // P on frame 5 freezes the start objects as they fall from rest; the
  // second run also presses O three times. A body falling from rest has
  // v = -g dt n after n steps, so each dump tells how many steps were taken.
  // The pause lands on the physics step of its frame or the next one (the
  // threads run side by side), so each run may count one step more.
  // W held for a while, then Home.
  const auto replay = [&](bool step, const std::string& dump) {
    std::ofstream recording(run.dir.File("keys.txt"));
    recording << "cleave-recording 1\nseed 12345\nK 5 80 0 1 0\nK 6 80 0 0 0\n";
    if (step) recording << "K 30 79 0 1 0\nK 31 79 0 0 0\nK 34 79 0 1 0\nK 35 79 0 0 0\nK 38 79 0 1 0\nK 39 79 0 0 0\n";
    recording << "K 42 87 0 1 0\nK 50 87 0 0 0\nK 55 268 0 1 0\nK 56 268 0 0 0\nE 70\n";
    recording.close();
    return RunToEnd({"--replay", "keys.txt", "--dump-scene", dump});
  };
  // Steps taken by the falling objects (all fell from rest together), or -1.
  const auto steps = [&](const std::string& dump) {
    const e2e::SceneDump scene(support::ReadFile(run.dir.File(dump)));
    const double kStepDv = 10.0 / 60.0;  // units/s: the scene's gravity, 10, over one 1/60 s step
    long taken = -1;
    for (const auto& object : scene.objects) {
      const double v = object.Get("velocity", 1);
      if (!(v < -0.05)) continue;  // resting, or not a body
      const long n = std::lround(-v / kStepDv);
      EXPECT_NEAR(-v / kStepDv, static_cast<double>(n), 0.05) << object.name;
      EXPECT_TRUE(taken < 0 || taken == n) << object.name;
      taken = n;
    }
    return taken;
  };
  ASSERT_EQ(replay(false, "paused.jsonl"), 0) << run.Log();
  EXPECT_NE(run.Log().find("Camera back at its start"), std::string::npos) << run.Log();
  ASSERT_EQ(replay(true, "stepped.jsonl"), 0) << run.Log();
  const long paused = steps("paused.jsonl"), stepped = steps("stepped.jsonl");
  ASSERT_GE(paused, 1) << "nothing was falling";
  EXPECT_LE(paused, 7) << "P did not freeze the scene";  // 70 frames without it
  EXPECT_GE(stepped - paused, 2);  // three presses of O, give or take the pause's one
  EXPECT_LE(stepped - paused, 4);
}
