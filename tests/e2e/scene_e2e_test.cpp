// The real program under a private Xvfb, driven by real X input. Each test
// is one program run; the slow parts (start-up, settling) are shared by as
// many checks as one run can hold.
//
// Window layout at the default 800 x 600 and the start camera: the sphere
// "obj4" (radius 2, resting at (-1, 2, -2)) is centred near pixel (597, 309)
// with a radius of about 155 pixels; the cone is near x = 138, the box
// "obj7" near (330, 350). A vertical drag at x = 597 therefore cuts the
// sphere alone: the plane through the line and the eye passes far from the
// other two.

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

using e2e::DumpedObject;
using e2e::SceneDump;

constexpr int kSphereX = 597, kSphereY = 309, kSphereTop = 100, kSphereBottom = 520;
constexpr int kIconX = 20, kIconY = 15;  // the help icon's centre, NDC (-0.95, 0.95)
// Seconds to wait for the first frame and for the exit; a loaded machine
// renders slowly.
constexpr double kStartTimeout = 120.0, kExitTimeout = 120.0;

// An object on the ground: its lowest point at the ground's top face (y = 0)
// and no faster than speedLimit.
void ExpectOnGround(const DumpedObject& o, double speedLimit) {
  SCOPED_TRACE(o.name);
  EXPECT_FALSE(o.HasNull());
  EXPECT_NEAR(o.Get("bottom"), 0.0, 0.15);
  EXPECT_LT(o.Get("speed"), speedLimit);
}

int CountLines(const std::string& log, const std::string& prefix) {
  int count = 0;
  for (const std::string& line : e2e::SplitLines(log)) count += line.rfind(prefix, 0) == 0;
  return count;
}

class SceneE2eTest : public ::testing::Test {
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

  // Starts an interactive run and waits for its first frame plus time for
  // the start objects to land.
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

  e2e::SceneRun run;
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
    const DumpedObject* o = dump.Find(name);
    ASSERT_NE(o, nullptr) << name;
    ExpectOnGround(*o, 0.05);
    EXPECT_EQ(o->Get("openEdges"), 0);
  }
  EXPECT_NEAR(dump.Find("obj4")->Get("mass"), 10.0 * 4.0 / 3.0 * M_PI * 8.0, 0.1);
  EXPECT_EQ(dump.tutorialPage, 1);
  EXPECT_EQ(run.Log().find("ERROR"), std::string::npos);
}

// A click and a Shift-drag on page 1, then the cut of the sphere and the
// tutorial's actions in turn. The pages only advance in order (page n to
// n + 1), so ending on page 0 proves each action moved it once; the cut log
// lines appear once, so neither the click nor either Shift-drag cut.
TEST_F(SceneE2eTest, CutOfTheSphereIsHeardAndTheTutorialFollowsEachAction) {
  const std::string wav = (run.Dir() / "capture.wav").string();
  const std::string conf = (run.Dir() / "alsoft.conf").string();
  std::ofstream(conf) << "[wave]\nfile=" << wav << "\n";
  StartInteractive({"--screenshot", "after_cut.png"},
                   {{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", conf}});
  run.Click(kSphereX, kSphereY);
  // Shift holds the box and pulls it up and to the left.
  run.Drag(330, 350, 250, 260, 1, "shift");
  // Page 1 -> 2: a cut.
  run.Drag(kSphereX, kSphereTop, kSphereX, kSphereBottom);
  ASSERT_TRUE(run.WaitForLog("generatePhysicsEnd - generatePhysicsBegin", 30.0)) << run.Log();
  e2e::Sleep(3.0);  // the halves fall apart
  run.Drag(400, 300, 460, 280, 3);  // 2 -> 3: the right button turns the camera
  run.HoldKey("w", 0.8);            // 3 -> 4: W moves it
  run.Drag(400, 420, 400, 380, 1, "shift");  // 4 -> 5: a pick, not a cut
  run.HoldKey("space", 0.05);                // 5 -> 6: one shot
  e2e::Sleep(0.5);
  run.Click(kIconX, kIconY);  // 6 -> hidden: the help icon
  e2e::Sleep(0.5);
  Quit();

  // The whole road of one cut, in order.
  const std::string log = run.Log();
  const std::vector<std::string> lines = e2e::SplitLines(log);
  size_t at = 0;
  for (const char* prefix :
       {"startWorldPoint = ", "endWorldPoint = ", "dist = ", "Attempting split",
        "endSplit - startSplit = ", "endRepair - startRepair = ",
        "endFindDegenerate - startFindDegenerate = ", "Split into front and back", "mass = ",
        "mass = ", "generateAttributesEnd - generateAttributesBegin = ",
        "generatePhysicsEnd - generatePhysicsBegin = "}) {
    while (at < lines.size() && lines[at].rfind(prefix, 0) != 0) ++at;
    ASSERT_LT(at, lines.size()) << "missing or out of order: " << prefix << "\n" << log;
    ++at;
  }
  EXPECT_EQ(CountLines(log, "startWorldPoint"), 1);
  EXPECT_EQ(CountLines(log, "Attempting split"), 1);

  const SceneDump dump = run.Dump();
  EXPECT_EQ(dump.tutorialPage, 0) << log;
  ASSERT_EQ(dump.CountPrefix("split_obj_"), 1) << e2e::ReadFile(run.Dir() / "scene.jsonl");
  EXPECT_EQ(dump.CountPrefix("bullet_"), 1);
  ASSERT_EQ(dump.objects.size(), 6u);
  // Only the sphere was cut; every solid is closed, both halves rest on the
  // ground (they rock on their round sides a while, hence the loose speed).
  EXPECT_EQ(dump.Find("obj3")->Get("triangles"), 256);
  EXPECT_EQ(dump.Find("obj7")->Get("triangles"), 48);
  for (const DumpedObject& o : dump.objects) {
    EXPECT_FALSE(o.HasNull()) << o.name;
    EXPECT_EQ(o.Get("openEdges"), 0) << o.name;
    if (o.name == "obj4" || o.name.rfind("split_obj_", 0) == 0) ExpectOnGround(o, 3.0);
  }
  // The Shift-drag moved the box away from where it rested, (-7, 1, 2).
  const DumpedObject* box = dump.Find("obj7");
  EXPECT_GT(std::hypot(box->Get("position", 0) + 7.0, box->Get("position", 2) - 2.0), 0.3)
      << e2e::ReadFile(run.Dir() / "scene.jsonl");
  EXPECT_TRUE(std::filesystem::exists(run.Dir() / "after_cut.png"));
  // The chop is the only sound the scene plays: the capture is not silent.
  EXPECT_GT(e2e::PeakAmplitude(wav), 0.01);
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
  for (const DumpedObject& o : dump.objects) {
    SCOPED_TRACE(o.name);
    EXPECT_FALSE(o.HasNull());
    EXPECT_EQ(o.Get("openEdges"), 0);
    if (o.name == "GROUND_PLANE") continue;
    // Above the ground and none flying off. (Coming to rest is checked
    // headlessly over simulated time; this wait covers only a few seconds.)
    EXPECT_GT(o.Get("bottom"), -0.25);
    EXPECT_LT(o.Get("speed"), 10.0);
  }
}

TEST_F(SceneE2eTest, ResetTwiceThroughTheBarLeavesTheStartObjects) {
  StartInteractive();
  run.Xdo("key space");  // something for Reset to clear away
  e2e::Sleep(0.5);
  // The help icon gives the bar the mouse; Reset shows without scrolling
  // at 800 x 600, its centre near (49, 407). Press it twice.
  run.Click(kIconX, kIconY);
  run.Click(49, 407);
  e2e::Sleep(0.5);
  run.Click(49, 407);
  e2e::Sleep(1.0);
  Quit();

  const SceneDump dump = run.Dump();
  std::vector<std::string> names;
  for (const DumpedObject& o : dump.objects) names.push_back(o.name);
  ASSERT_EQ(names, (std::vector<std::string>{"GROUND_PLANE", "obj3", "obj4", "obj7"}))
      << e2e::ReadFile(run.Dir() / "scene.jsonl");
  // Numbers are never reused: ground 1, start objects 2-4, the shot 5,
  // first reset 6-8, second reset 9-11.
  EXPECT_EQ(dump.objects[1].Get("number"), 9);
  EXPECT_EQ(dump.objects[3].Get("number"), 11);
  // Clicks on the bar and the icon are not cuts.
  EXPECT_EQ(run.Log().find("Attempting split"), std::string::npos);
}
