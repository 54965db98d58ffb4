// The real program under a private Xvfb, driven by real X input.
//
// Window layout at the default 800 x 600 and the start camera: the sphere
// "obj4" (radius 2, resting at (-1, 2, -2)) is centred near pixel (597, 309)
// with a radius of about 155 pixels; the cone is near x = 138, the box near
// x = 311. A vertical drag at x = 597 therefore cuts the sphere alone: the
// plane through the line and the eye passes far from the other two.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "e2e/scene_e2e_support.h"

namespace {

using e2e::SceneDump;
using e2e::SceneRun;

constexpr int kSphereX = 597;
constexpr int kSphereTop = 100, kSphereBottom = 520;
// The help icon's centre, NDC (-0.95, 0.95), in pixels.
constexpr int kIconX = 20, kIconY = 15;

// Seconds to wait for the first frame; a loaded machine renders slowly.
constexpr double kStartTimeout = 120.0;
constexpr double kExitTimeout = 120.0;

// An object on the ground: its lowest point at the ground's top face (y = 0)
// and no faster than speedLimit. Cut halves of the sphere rock on their
// round sides for a long while, so pieces get a looser limit than the
// untouched start objects.
void ExpectOnGround(const e2e::DumpedObject& o, double speedLimit) {
  SCOPED_TRACE(o.name);
  EXPECT_FALSE(o.hasNull);
  EXPECT_GT(o.bottom, -0.15);
  EXPECT_LT(o.bottom, 0.15);
  EXPECT_LT(o.speed, speedLimit);
}

// Index of the first line at or after `from` that starts with prefix, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& prefix, int from) {
  for (int i = from; i < static_cast<int>(lines.size()); ++i)
    if (lines[i].rfind(prefix, 0) == 0) return i;
  return -1;
}

class SceneE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no X to test under";
    if (!e2e::HaveProgram("Xvfb") || !e2e::HaveProgram("xdotool"))
      GTEST_SKIP() << "Xvfb or xdotool is missing";
    ASSERT_TRUE(run.StartDisplay()) << "private Xvfb did not start";
  }

  void TearDown() override {
    if (HasFailure()) {
      run.KeepDirectory();
      std::cerr << "kept " << run.Dir() << " for inspection\n";
    }
  }

  // Starts the program for an interactive run and waits for its first frame
  // plus time for the start objects to land.
  void StartInteractive(const std::vector<std::string>& extra = {},
                        const std::map<std::string, std::string>& env = {}) {
    std::vector<std::string> args = {"--frames", "1000000", "--seed", "11", "--dump-scene",
                                     "scene.jsonl"};
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_TRUE(run.StartProgram(args, env));
    ASSERT_TRUE(run.WaitForLog("randomNormTex->texID", kStartTimeout)) << run.Log();
    e2e::Sleep(4.0);
  }

  // Escape ends the program normally.
  void Quit() {
    run.Xdo("key Escape");
    EXPECT_EQ(run.WaitExit(kExitTimeout), 0) << run.Log();
  }

  SceneRun run;
};

}  // namespace

TEST_F(SceneE2eTest, StartObjectsComeToRestOnTheGround) {
  // 180 frames of the fixed 1/60 s physics step: three seconds.
  ASSERT_TRUE(run.StartProgram({"--frames", "180", "--seed", "3", "--dump-scene", "scene.jsonl"}));
  ASSERT_EQ(run.WaitExit(kStartTimeout + kExitTimeout), 0) << run.Log();
  const SceneDump dump = run.Dump();
  ASSERT_EQ(dump.objects.size(), 4u) << run.Log();
  EXPECT_EQ(dump.objects[0].name, "GROUND_PLANE");
  for (const char* name : {"obj3", "obj4", "obj7"}) {
    const e2e::DumpedObject* o = dump.Find(name);
    ASSERT_NE(o, nullptr) << name;
    ExpectOnGround(*o, 0.05);
    EXPECT_EQ(o->openEdges, 0u);
  }
  EXPECT_NEAR(dump.Find("obj4")->mass, 10.0 * 4.0 / 3.0 * M_PI * 8.0, 0.1);
  EXPECT_EQ(dump.tutorialPage, 1);
  EXPECT_EQ(run.Log().find("ERROR"), std::string::npos);
}

TEST_F(SceneE2eTest, DragAcrossTheSphereCutsItAndTheChopIsHeard) {
  const std::string wav = (run.Dir() / "capture.wav").string();
  const std::string conf = (run.Dir() / "alsoft.conf").string();
  std::ofstream(conf) << "[wave]\nfile=" << wav << "\n";
  StartInteractive({"--screenshot", "after_cut.png"},
                   {{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", conf}});
  run.Drag(kSphereX, kSphereTop, kSphereX, kSphereBottom);
  ASSERT_TRUE(run.WaitForLog("generatePhysicsEnd - generatePhysicsBegin", 30.0)) << run.Log();
  e2e::Sleep(4.0);  // the halves fall apart and settle
  Quit();

  // The whole road of one cut, in order.
  const std::vector<std::string> lines = e2e::SplitLines(run.Log());
  int at = 0;
  for (const char* prefix :
       {"startWorldPoint = ", "endWorldPoint = ", "dist = ", "Attempting split",
        "endSplit - startSplit = ", "endRepair - startRepair = ",
        "endFindDegenerate - startFindDegenerate = ", "Split into front and back", "mass = ",
        "mass = ", "generateAttributesEnd - generateAttributesBegin = ",
        "generatePhysicsEnd - generatePhysicsBegin = "}) {
    const int found = FindLine(lines, prefix, at);
    ASSERT_GE(found, 0) << "missing or out of order: " << prefix << "\n" << run.Log();
    at = found + 1;
  }

  const SceneDump dump = run.Dump();
  EXPECT_EQ(dump.tutorialPage, 2);
  ASSERT_EQ(dump.CountPrefix("split_obj_"), 1) << e2e::ReadFile(run.Dir() / "scene.jsonl");
  ASSERT_EQ(dump.objects.size(), 5u);
  // Only the sphere was cut; both halves are closed and rest on the ground.
  EXPECT_EQ(dump.Find("obj3")->triangles, 256u);
  EXPECT_EQ(dump.Find("obj7")->triangles, 48u);
  for (const e2e::DumpedObject& o : dump.objects) {
    if (o.name == "GROUND_PLANE") continue;
    EXPECT_EQ(o.openEdges, 0u) << o.name;
    ExpectOnGround(o, 3.0);
  }
  EXPECT_TRUE(std::filesystem::exists(run.Dir() / "after_cut.png"));
  // The chop is the only sound the scene plays: the capture is not silent.
  EXPECT_GT(e2e::PeakAmplitude(wav), 0.01);
}

TEST_F(SceneE2eTest, ClickWithoutMovingCutsNothing) {
  const std::string wav = (run.Dir() / "capture.wav").string();
  const std::string conf = (run.Dir() / "alsoft.conf").string();
  std::ofstream(conf) << "[wave]\nfile=" << wav << "\n";
  StartInteractive({}, {{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", conf}});
  run.Drag(kSphereX, 309, kSphereX, 309);
  e2e::Sleep(1.0);
  Quit();

  const std::string log = run.Log();
  EXPECT_EQ(log.find("startWorldPoint"), std::string::npos);
  EXPECT_EQ(log.find("Attempting split"), std::string::npos);
  const SceneDump dump = run.Dump();
  EXPECT_EQ(dump.tutorialPage, 1);
  EXPECT_EQ(dump.objects.size(), 4u);
  EXPECT_EQ(dump.CountPrefix("split_obj_"), 0);
  const double peak = e2e::PeakAmplitude(wav);
  EXPECT_GE(peak, 0.0) << "no capture written";
  EXPECT_LT(peak, 0.01);
}

TEST_F(SceneE2eTest, TutorialFollowsEachActionInTurn) {
  StartInteractive();
  // Page 1 -> 2: a cut.
  run.Drag(kSphereX, kSphereTop, kSphereX, kSphereBottom);
  ASSERT_TRUE(run.WaitForLog("Split into front and back", 30.0)) << run.Log();
  // Page 2 -> 3: the right button turns the camera.
  run.Drag(400, 300, 460, 280, 3);
  // Page 3 -> 4: W moves it.
  run.HoldKey("w", 0.8);
  // Page 4 -> 5: Shift with the left button (a pick, not a cut).
  run.Drag(400, 420, 400, 380, 1, "shift");
  // Page 5 -> 6: Space shoots one object.
  run.HoldKey("space", 0.05);
  e2e::Sleep(0.5);
  // Page 6 -> hidden: the help icon.
  run.Drag(kIconX, kIconY, kIconX, kIconY);
  e2e::Sleep(0.5);
  Quit();

  const std::string log = run.Log();
  const SceneDump dump = run.Dump();
  EXPECT_EQ(dump.tutorialPage, 0) << log;
  // Exactly one cut (Shift made the third drag a pick) and one shot.
  EXPECT_EQ(dump.CountPrefix("split_obj_"), 1);
  EXPECT_EQ(dump.CountPrefix("bullet_"), 1);
  int cuts = 0;
  for (const std::string& line : e2e::SplitLines(log)) cuts += line == "Attempting split" ? 1 : 0;
  EXPECT_EQ(cuts, 1);
  for (const e2e::DumpedObject& o : dump.objects) EXPECT_FALSE(o.hasNull) << o.name;
}

TEST_F(SceneE2eTest, ShiftDragMovesTheSphere) {
  StartInteractive();
  // Hold the sphere and pull it up and to the left for a while.
  run.Xdo("mousemove " + std::to_string(kSphereX) + " 309");
  e2e::Sleep(0.4);
  run.Xdo("keydown shift");
  run.Xdo("mousedown 1");
  e2e::Sleep(0.6);
  run.Xdo("mousemove 520 200");
  e2e::Sleep(2.0);
  run.Xdo("mouseup 1");
  run.Xdo("keyup shift");
  e2e::Sleep(0.3);
  Quit();

  const SceneDump dump = run.Dump();
  const e2e::DumpedObject* sphere = dump.Find("obj4");
  ASSERT_NE(sphere, nullptr);
  const double moved = std::hypot(sphere->position[0] + 1.0, sphere->position[1] - 2.0,
                                  sphere->position[2] + 2.0);
  EXPECT_GT(moved, 0.3) << e2e::ReadFile(run.Dir() / "scene.jsonl");
  EXPECT_EQ(run.Log().find("Attempting split"), std::string::npos);
  EXPECT_EQ(dump.tutorialPage, 1);
}

TEST_F(SceneE2eTest, RepeatedCutsLeaveClosedRestingPieces) {
  StartInteractive();
  // Ten cuts across the pile: vertical, slanted and horizontal lines.
  const int cuts[10][4] = {
      {597, 100, 597, 520}, {140, 100, 140, 520}, {310, 250, 310, 450}, {450, 320, 760, 320},
      {60, 380, 760, 420},  {520, 120, 680, 500}, {200, 150, 100, 500}, {660, 130, 540, 500},
      {30, 440, 780, 350},  {400, 120, 400, 520}};
  for (const auto& c : cuts) {
    run.Drag(c[0], c[1], c[2], c[3]);
    e2e::Sleep(0.8);
  }
  e2e::Sleep(6.0);  // let the pile settle
  Quit();

  const std::string log = run.Log();
  EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
  EXPECT_EQ(log.find("nan"), std::string::npos);
  const SceneDump dump = run.Dump();
  EXPECT_GE(dump.CountPrefix("split_obj_"), 5);
  for (const e2e::DumpedObject& o : dump.objects) {
    SCOPED_TRACE(o.name);
    EXPECT_FALSE(o.hasNull);
    EXPECT_EQ(o.openEdges, 0u);
    if (o.name == "GROUND_PLANE") continue;
    // Every piece is above the ground and none is flying off. (Whether
    // pieces come to rest is checked headlessly over simulated time; here
    // the wall-clock wait covers only a few simulated seconds.)
    EXPECT_GT(o.bottom, -0.25);
    EXPECT_LT(o.speed, 10.0);
  }
}

TEST_F(SceneE2eTest, ResetTwiceThroughTheBarLeavesTheStartObjects) {
  StartInteractive();
  run.Xdo("key space");  // something for Reset to clear away
  e2e::Sleep(0.5);
  // A plain click in the scene (no cut), then the help icon: the bar now
  // takes the mouse.
  run.Drag(400, 100, 400, 100);
  run.Drag(kIconX, kIconY, kIconX, kIconY);
  // Scroll the bar to its end, where the Reset button is, and press it twice.
  run.Xdo("mousemove 100 400");
  e2e::Sleep(0.3);
  for (int i = 0; i < 8; ++i) {
    run.Xdo("click 5");
    e2e::Sleep(0.15);
  }
  e2e::Sleep(0.5);
  run.Drag(50, 503, 50, 503);
  e2e::Sleep(0.5);
  run.Drag(50, 503, 50, 503);
  e2e::Sleep(1.0);
  Quit();

  const SceneDump dump = run.Dump();
  std::vector<std::string> names;
  for (const e2e::DumpedObject& o : dump.objects) names.push_back(o.name);
  EXPECT_EQ(names, (std::vector<std::string>{"GROUND_PLANE", "obj3", "obj4", "obj7"}))
      << e2e::ReadFile(run.Dir() / "scene.jsonl");
  // Numbers are never reused: ground 1, start objects 2-4, the shot 5,
  // first reset 6-8, second reset 9-11.
  ASSERT_EQ(dump.objects.size(), 4u);
  EXPECT_EQ(dump.objects[1].number, 9u);
  EXPECT_EQ(dump.objects[3].number, 11u);
  // Clicks on the bar and the icon are not cuts.
  EXPECT_EQ(run.Log().find("Attempting split"), std::string::npos);
}
