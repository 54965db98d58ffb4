// The sandbox as a user meets it, at the default settings: a cut whose
// halves settle where they were cut, and quick shots that stay on the
// ground. Each test waits for the program's own log lines and its exit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>

#include "e2e/scene_e2e_support.h"

namespace {

using e2e::DumpedObject;
using e2e::SceneDump;

// Seconds to wait for the first frame and for the exit; a loaded machine
// renders slowly.
constexpr double kStartTimeout = 120.0, kExitTimeout = 240.0;

class SandboxE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no X to test under";
    if (std::system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0)
      GTEST_SKIP() << "Xvfb or xdotool is missing";
    ASSERT_TRUE(run.StartDisplay()) << "private Xvfb did not start";
  }
  void TearDown() override {
    if (!HasFailure()) return;
    run.KeepDirectory();
    std::cerr << "kept " << run.Dir() << " for inspection\n";
  }
  void Start(const std::string& frames) {
    ASSERT_TRUE(run.StartProgram({"--frames", frames, "--seed", "5", "--dump-scene", "scene.jsonl"}));
    ASSERT_TRUE(run.WaitForLog("randomNormTex->texID", kStartTimeout)) << run.Log();
  }
  std::string DumpText() const { return e2e::ReadFile(run.Dir() / "scene.jsonl"); }

  e2e::SceneRun run;
};

}  // namespace

// A horizontal drag across the middle of the sphere (radius 2, resting at
// (-1, 2, -2), centred near pixel (597, 309)) cuts it in an upper and a
// lower half, and the cone (the plane is nearly level at y = 2 there). The
// run ends by itself after 900 frames (15 simulated seconds): every piece
// must be asleep by then, none thrown away from where its object stood.
TEST_F(SandboxE2eTest, PiecesOfACutComeToRestWhereTheirObjectsStood) {
  Start("900");
  e2e::Sleep(1.0);  // the start objects land
  run.Drag(420, 309, 780, 309);
  ASSERT_TRUE(run.WaitForLog("generatePhysicsEnd - generatePhysicsBegin", 60.0)) << run.Log();
  ASSERT_EQ(run.WaitExit(kExitTimeout), 0) << run.Log();

  const SceneDump dump = run.Dump();
  EXPECT_GE(dump.CountPrefix("split_obj_"), 1) << DumpText();
  const double spots[3][2] = {{-2, 4}, {-1, -2}, {-7, 2}};  // cone, sphere, box (x, z)
  for (const DumpedObject& o : dump.objects) {
    SCOPED_TRACE(o.name);
    ASSERT_FALSE(o.HasNull()) << DumpText();
    if (o.name == "GROUND_PLANE") continue;
    EXPECT_NE(o.line.find("\"sleeping\":true"), std::string::npos) << DumpText();
    EXPECT_LT(o.Get("speed"), 0.05);
    EXPECT_GT(o.Get("bottom"), -0.05);  // on the ground, not in it
    double nearest = 1e9;
    for (const auto& spot : spots)
      nearest = std::min(nearest, std::hypot(o.Get("position", 0) - spot[0],
                                             o.Get("position", 2) - spot[1]));
    EXPECT_LT(nearest, 1.0) << DumpText();
    EXPECT_LT(o.Get("position", 1), 4.0);  // no higher than the tops were
  }
}

// 150 quick presses of Space: every shot is placed clear of the others, so
// none is flung; ten seconds later nothing lies below the ground and nothing
// fell off it.
TEST_F(SandboxE2eTest, QuickShotsStayOnTheGround) {
  Start("1000000");
  ASSERT_TRUE(run.Xdo("key --delay 30 " + [] {
    std::string keys;
    for (int i = 0; i < 150; ++i) keys += "space ";
    return keys;
  }()));
  e2e::Sleep(10.0);
  run.Xdo("key Escape");
  ASSERT_EQ(run.WaitExit(kExitTimeout), 0) << run.Log();

  const SceneDump dump = run.Dump();
  EXPECT_GE(dump.CountPrefix("bullet_"), 10) << DumpText();
  for (const DumpedObject& o : dump.objects) {
    SCOPED_TRACE(o.name);
    ASSERT_FALSE(o.HasNull()) << DumpText();
    if (o.name == "GROUND_PLANE") continue;
    // Above the ground: a shot still landing may dip into it for a moment,
    // never through it; and none flung off it.
    EXPECT_GT(o.Get("position", 1), 0.0);
    EXPECT_GT(o.Get("bottom"), -0.5);
    EXPECT_LT(std::hypot(o.Get("position", 0), o.Get("position", 2)), 100.0);
  }
  EXPECT_EQ(run.Log().find("fell below the ground"), std::string::npos);
}
