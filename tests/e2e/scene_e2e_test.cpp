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

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "e2e/scene_e2e_support.h"
#include "support/wav.h"

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
  EXPECT_TRUE(!o.HasNull() && std::fabs(o.Get("bottom")) < 0.15 && o.Get("speed") < speedLimit) << o.line;
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
    run.dir.Keep();
    std::cerr << "kept " << run.dir.Path() << " for inspection\n";
  }

  // Starts an interactive run and waits for its first frame plus time for
  // the start objects to land.
  void StartInteractive(const std::vector<std::string>& extra = {}, const std::vector<std::string>& env = {}) {
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

// A horizontal drag through the sphere's centre cuts it (and the cone) in an
// upper and a lower half. The cut comes once the start objects have had ten
// seconds of the scene's time to land, and the run ends ten more seconds
// after it (frame marks, which a slow machine only stretches): every piece
// and the box the cut misses is asleep on the ground by then, none above the
// old tops, none thrown away. The plane
// through the eye is not level, and friction is weak (0.1): an upper half
// may slide off the sloping face of its lower half, tip over its edge and
// roll, and come to rest a few units away (about one run in four; 6.2 units
// once in a CI run). Friction stops a piece gliding at v units/s on the
// ground within v^2 / (2 * 0.1 * 10) units, 8 at 4 units/s, so a piece may
// lie up to 8 units from where an object stood; a thrown one goes much
// farther.
TEST_F(SceneE2eTest, HalvesOfACutRestWhereTheirObjectsStood) {
  ASSERT_TRUE(run.StartProgram({"--frames", "1000000", "--seed", "5", "--dump-scene", "scene.jsonl"}));
  ASSERT_TRUE(run.WaitForLog("randomNormTex->texID", kStartTimeout)) << run.Log();
  ASSERT_TRUE(run.WaitForFrames(600, 600.0)) << run.Log();
  run.Drag(420, kSphereY, 780, kSphereY);
  ASSERT_TRUE(run.WaitForLog("generatePhysicsEnd - generatePhysicsBegin", 60.0)) << run.Log();
  ASSERT_TRUE(run.WaitForFrames(600, 600.0)) << run.Log();
  Quit();
  const SceneDump dump = run.Dump();
  EXPECT_GE(dump.CountPrefix("split_obj_"), 1) << run.Log();
  const double spots[3][2] = {{-2, 4}, {-1, -2}, {-7, 2}};  // cone, sphere, box (x, z)
  for (const DumpedObject& o : dump.objects) {
    if (o.name == "GROUND_PLANE") continue;
    double nearest = 1e9;
    for (const auto& spot : spots)
      nearest = std::min(nearest, std::hypot(o.Get("position", 0) - spot[0], o.Get("position", 2) - spot[1]));
    EXPECT_TRUE(o.line.find("\"sleeping\":true") != std::string::npos && o.Get("speed") < 0.05 &&
                o.Get("bottom") > -0.05 && o.Get("position", 1) < 4.0 && nearest < 8.0)
        << o.line;
  }
}

// 150 quick presses of Space: each shot is placed clear of the others, so
// none is flung off the ground (a box 300 units wide, centred at the
// origin), and ten seconds of the scene's time on nothing lies below it. Spheres toppling from
// the tall heap may still roll far across it.
TEST_F(SceneE2eTest, QuickShotsStayOnTheGround) {
  StartInteractive();
  std::string keys;
  for (int i = 0; i < 150; ++i) keys += " space";
  ASSERT_TRUE(run.Xdo("key --delay 30" + keys));
  ASSERT_TRUE(run.WaitForFrames(600, 600.0)) << run.Log();  // ten seconds of the scene
  Quit();
  const SceneDump dump = run.Dump();
  EXPECT_GE(dump.CountPrefix("bullet_"), 10) << run.Log();
  for (const DumpedObject& o : dump.objects) {
    if (o.name == "GROUND_PLANE") continue;
    EXPECT_TRUE(!o.HasNull() && o.Get("position", 1) > 0.0 && o.Get("bottom") > -0.5 &&
                std::max(std::fabs(o.Get("position", 0)), std::fabs(o.Get("position", 2))) < 150.0)
        << o.line;
  }
  EXPECT_EQ(run.Log().find("fell below the ground"), std::string::npos) << run.Log();
}

// A click and a Shift-drag on page 1, then the cut of the sphere and the
// tutorial's actions in turn. The pages only advance in order (page n to
// n + 1), so ending on page 0 proves each action moved it once; the cut log
// lines appear once, so neither the click nor either Shift-drag cut.
TEST_F(SceneE2eTest, CutOfTheSphereIsHeardAndTheTutorialFollowsEachAction) {
  const std::string wav = run.dir.File("capture.wav"), conf = run.dir.File("alsoft.conf");
  std::ofstream(conf) << "[wave]\nfile=" << wav << "\n";
  StartInteractive({"--screenshot", "after_cut.png"}, {"ALSOFT_DRIVERS=wave", "ALSOFT_CONF=" + conf});
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

  // The whole road of one cut, in order; each half of the sphere is closed
  // along one loop.
  const std::string log = run.Log();
  size_t at = 0;
  for (const char* prefix : {"startWorldPoint = ", "endWorldPoint = ", "dist = ", "Attempting split", "endSplit - startSplit = ",
                             "boundaryList.size() = 1\nnumClosed = 1\n", "boundaryList.size() = 1\nnumClosed = 1\n",
                             "endRepair - startRepair = ", "endFindDegenerate - startFindDegenerate = ",
                             "Split into front and back", "mass = ", "mass = ", "generateAttributesEnd - generateAttributesBegin = ",
                             "generatePhysicsEnd - generatePhysicsBegin = "}) {
    at = log.find("\n" + std::string(prefix), at);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << prefix << "\n" << log;
    ++at;
  }
  EXPECT_TRUE(e2e::CountLines(log, "startWorldPoint") == 1 && e2e::CountLines(log, "Attempting split") == 1);
  EXPECT_EQ(log.find("ERROR"), std::string::npos);

  const SceneDump dump = run.Dump();
  EXPECT_EQ(dump.tutorialPage, 0) << log;
  ASSERT_TRUE(dump.CountPrefix("split_obj_") == 1 && dump.CountPrefix("bullet_") == 1 && dump.objects.size() == 6u)
      << support::ReadFile(run.dir.File("scene.jsonl"));
  // Only the sphere was cut; every solid is closed, both halves rest on the
  // ground (they rock on their round sides a while, hence the loose speed).
  EXPECT_TRUE(dump.Find("obj3")->Get("triangles") == 256 && dump.Find("obj7")->Get("triangles") == 48);
  for (const DumpedObject& o : dump.objects) {
    EXPECT_EQ(o.Get("openEdges"), 0) << o.name;
    if (o.name == "obj4" || o.name.rfind("split_obj_", 0) == 0) ExpectOnGround(o, 3.0);
  }
  // The Shift-drag moved the box away from where it rested, (-7, 1, 2).
  const DumpedObject* box = dump.Find("obj7");
  EXPECT_GT(std::hypot(box->Get("position", 0) + 7.0, box->Get("position", 2) - 2.0), 0.3)
      << support::ReadFile(run.dir.File("scene.jsonl"));
  EXPECT_TRUE(std::filesystem::exists(run.dir.File("after_cut.png")));
  // The chop is the only sound the scene plays: the capture is not silent.
  support::Wav capture;
  ASSERT_TRUE(support::ReadWav(wav, capture));
  float peak = 0.0f;
  for (float sample : capture.samples) peak = std::max(peak, std::fabs(sample));
  EXPECT_GT(peak, 0.01f);
}

TEST_F(SceneE2eTest, ResetThroughTheBarLeavesTheStartObjects) {
  StartInteractive();
  run.Xdo("key space");  // something for Reset to clear away
  e2e::Sleep(0.5);
  // The help icon gives the bar the mouse; Reset shows without scrolling
  // at 800 x 600, its centre near (49, 407).
  run.Click(kIconX, kIconY);
  run.Click(49, 407);
  e2e::Sleep(1.0);
  Quit();

  const SceneDump dump = run.Dump();
  std::vector<std::string> names;
  for (const DumpedObject& o : dump.objects) names.push_back(o.name);
  ASSERT_EQ(names, (std::vector<std::string>{"GROUND_PLANE", "obj3", "obj4", "obj7"}))
      << support::ReadFile(run.dir.File("scene.jsonl"));
  // Numbers are never reused: ground 1, start objects 2-4, the shot 5, the reset 6-8.
  EXPECT_EQ(dump.objects[1].Get("number"), 6);
  EXPECT_EQ(dump.objects[3].Get("number"), 8);
  // Clicks on the bar and the icon are not cuts.
  EXPECT_EQ(run.Log().find("Attempting split"), std::string::npos);
}

// --model drops the sample torus onto the box "obj7" (near pixel (310, 278) above the
// box's top); a vertical cut through its middle parts it: the dump holds the
// model's other half beside it (a large piece, unlike the box's), every
// solid closed, and no error.
TEST_F(SceneE2eTest, LoadedTorusIsCutIntoClosedPieces) {
  StartInteractive({"--model", "assets/models/torus.obj"});
  run.Drag(310, 230, 310, 330);
  // Every queued job (one per "dist = -" line) has finished.
  auto done = [&] {
    const std::string log = run.Log();
    return e2e::CountLines(log, "generatePhysicsEnd") == e2e::CountLines(log, "dist = -");
  };
  for (int i = 0; i < 300 && !done(); ++i) e2e::Sleep(0.1);
  ASSERT_TRUE(done()) << run.Log();
  Quit();
  const SceneDump dump = run.Dump();
  ASSERT_NE(dump.Find("model"), nullptr) << run.Log();
  int torusPieces = 0;
  for (const DumpedObject& o : dump.objects) {
    EXPECT_EQ(o.Get("openEdges"), 0) << o.line;
    torusPieces += o.name.rfind("split_obj_", 0) == 0 && o.Get("triangles") > 600;
  }
  EXPECT_EQ(torusPieces, 1) << support::ReadFile(run.dir.File("scene.jsonl"));
  EXPECT_LT(dump.Find("model")->Get("triangles"), 2304);  // the whole torus's count
  EXPECT_EQ(run.Log().find("ERROR"), std::string::npos);
}
