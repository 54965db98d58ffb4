// Session files in the real program: a replayed recording of a cut ends the
// run by itself on its last frame and saves the scene; the saved scene loads
// with every object where it was; a damaged scene file or recording ends the
// run with one error naming it and exit code 1.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "e2e/scene_e2e_support.h"
#include "support/scratch.h"

namespace {

constexpr double kRunTimeout = 240.0;  // seconds for a short run on a loaded machine

class SessionFilesE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no X to test under";
    if (std::system("command -v Xvfb >/dev/null") != 0) GTEST_SKIP() << "Xvfb is missing";
    ASSERT_TRUE(run.StartDisplay()) << "private Xvfb did not start";
  }
  // Runs the program to its end; its exit code.
  int Run(const std::vector<std::string>& args) {
    return run.StartProgram(args) ? run.WaitExit(kRunTimeout) : -1;
  }
  e2e::SceneRun run;
};

}  // namespace

TEST_F(SessionFilesE2eTest, ReplayedCutIsSavedAndLoadsWhereItWas) {
  // A left drag across the three start objects on frames 120 to 140.
  std::ofstream recording(run.dir.File("cut.txt"));
  recording << "cleave-recording 1\nseed 12345\nF 1 0 0 0\n";
  for (int k = 0; k <= 20; ++k) recording << "F " << 120 + k << " " << -0.6 + 0.06 * k << " -0.1 1\n";
  recording << "F 141 0.6 -0.1 0\nE 200\n";
  recording.close();
  ASSERT_EQ(Run({"--replay", "cut.txt", "--save-scene", "cut.glb", "--dump-scene", "cut.jsonl"}), 0) << run.Log();
  EXPECT_NE(run.Log().find("Replay matches the recording: 0 seconds compared"), std::string::npos) << run.Log();
  const e2e::SceneDump saved(support::ReadFile(run.dir.File("cut.jsonl")));
  ASSERT_GE(saved.CountPrefix("split_obj_"), 1) << run.Log();

  ASSERT_EQ(Run({"--load-scene", "cut.glb", "--frames", "1", "--dump-scene", "load.jsonl"}), 0) << run.Log();
  const e2e::SceneDump loaded(support::ReadFile(run.dir.File("load.jsonl")));
  ASSERT_EQ(loaded.objects.size(), saved.objects.size());
  for (size_t k = 0; k < saved.objects.size(); ++k) {
    const e2e::DumpedObject &a = saved.objects[k], &b = loaded.objects[k];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.Get("number"), b.Get("number")) << a.name;
    EXPECT_EQ(a.Get("mass"), b.Get("mass")) << a.name;
    EXPECT_EQ(a.Get("triangles"), b.Get("triangles")) << a.name;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(a.Get("position", i), b.Get("position", i), 0.01) << a.name;  // one frame on
  }
}

TEST_F(SessionFilesE2eTest, DamagedFilesEndTheRunNamingThem) {
  std::ofstream(run.dir.File("bad.glb")) << "glTF but not really";
  EXPECT_EQ(Run({"--load-scene", "bad.glb", "--frames", "30"}), 1);
  EXPECT_EQ(e2e::CountLines(run.Log(), "ERROR: "), 1) << run.Log();
  EXPECT_NE(run.Log().find("the scene file bad.glb cannot be loaded"), std::string::npos) << run.Log();

  std::ofstream(run.dir.File("bad.txt")) << "cleave-recording 1\nF 1 0 0\n";
  EXPECT_EQ(Run({"--replay", "bad.txt"}), 1);
  EXPECT_EQ(e2e::CountLines(run.Log(), "ERROR: "), 1) << run.Log();
  EXPECT_NE(run.Log().find("the recording bad.txt cannot be replayed: line 2"), std::string::npos) << run.Log();
}
