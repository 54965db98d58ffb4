// The scene module in-process, without a window (no GPU buffers are made):
// Init and its Help lines, Reset, gravity requests, the choice of the held
// object and of the objects culled when frames are slow, and the camera
// controls.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "collision/collision_comp.h"
#include "collision/collision_manager.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "game_logic/game_logic.h"
#include "game_logic/object_break_logic.h"
#include "objects/object_manager.h"
#include "physics/physics_comp.h"
#include "scene/solid_factory.h"
#include "support/objects.h"
#include "window/input_manager.h"
#include "window/interface_manager.h"

namespace {

class SceneLogicTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearScene(); }
  void TearDown() override {
    ClearScene();
    InputManager::Instance().table.Clear();
    System::Instance().avgFrameTime = kFrameBudget;
    EXPECT_TRUE(System::Instance().running) << "an error was reported";
  }
  static void ClearScene() {
    support::ClearObjects();
    EventManager::Instance().GetEvents("Physics");
    EventManager::Instance().GetEvents("BROADCAST");
  }
  static std::multiset<std::string> Names() {
    std::multiset<std::string> names;
    for (const auto& entry : ObjectManager::Instance().objects) names.insert(entry.second.name);
    return names;
  }
};

}  // namespace

TEST_F(SceneLogicTest, InitShowsTheHelpResetTwiceLeavesTheStartObjectsAndSlowFramesCullTheOldest) {
  ObjectBreakLogic& logic = GameLogic::Instance().Logic();
  logic.Init();
  const std::multiset<std::string> start = {"GROUND_PLANE", "obj3", "obj4", "obj7"};
  ASSERT_EQ(Names(), start);
  // The bar's Help group shows the help text line by line, the last line too.
  std::string help;
  for (const TweakBar::Item& line : InterfaceManager::Instance().bar.Groups().at(0).items) help += line.label + "\n";
  EXPECT_EQ(help, logic.helpText + "\n");
  // Something to clear away besides the start objects.
  logic.CreateObject("bullet_x", Vector(0.0f, 5.0f, 0.0f), Vector(0.7f, 0.7f, 0.7f, 0.0f), Box,
                     Quaternion(), 3.0f);
  EventManager::Instance().GetEvents("Physics");
  const uint32_t groundNumber = ObjectManager::Instance().GetObjNum("GROUND_PLANE");

  for (int press = 0; press < 2; ++press) {
    SCOPED_TRACE(press);
    ObjectBreakLogic::Reset(nullptr);
    EXPECT_EQ(Names(), start);
    EXPECT_EQ(ObjectManager::Instance().GetObjNum("GROUND_PLANE"), groundNumber);
    // One gravity request of g = 10 per new object, naming it.
    std::multiset<uint32_t> named;
    for (Event& e : EventManager::Instance().GetEvents("Physics")) {
      EXPECT_TRUE(e.type == "AddForce" && e.GetParam<std::string>("type") == "GravityForce" && e.GetParam<float>("g") == 10.0f);
      named.insert(e.GetParam<uint32_t>("obj"));
    }
    std::multiset<uint32_t> expected;
    for (const char* name : {"obj3", "obj4", "obj7"}) expected.insert(ObjectManager::Instance().GetObjNum(name));
    EXPECT_EQ(named, expected);
  }

  // Slow frames past the grace period with 26 objects besides the ground:
  // the first batch takes 4 of the 23 that may go (a fifth), one a frame,
  // never the ground or an object too heavy to cull.
  ObjectManager& manager = ObjectManager::Instance();
  manager.GetGameObject("GROUND_PLANE").age = 1000;  // the oldest, and light: only being the ground keeps it
  manager.GetGameObject("GROUND_PLANE").Find<PhysicsComp>()->mass = 1.0f;
  std::multiset<std::string> kept = Names();
  for (int i = 0; i < 23; ++i) {  // light objects aged 1 .. 22 in shuffled order, and an older one too heavy to cull
    const std::string name = i < 22 ? "light" + std::to_string(i) : "heavy";
    manager.GetGameObject(manager.AddGameObject(BuildSolid(name, Vector(3.0f * i, 5.0f, 0.0f), Vector(0.5f, 0.5f, 0.5f, 0.0f),
                                                           Box, Quaternion(), i < 22 ? 1.0f : 1e5f))).age = i < 22 ? (7 * i) % 22 + 1 : 1000;
    if (i == 22 || (i != 0 && (7 * i) % 22 + 1 < 20)) kept.insert(name);
  }
  // All of them out of view, and the youngest asleep: it goes first, then
  // the oldest. Switched off, culling takes nothing.
  manager.GetGameObject("light0").Find<PhysicsComp>()->sleeping = true;
  manager.camera.position = Vector(-100.0f, 5.0f, 0.0f);
  manager.camera.yaw = 1.5708f;  // looking along -x, away from them all
  manager.camera.UpdateView();
  System::Instance().avgFrameTime = 1.0;
  const std::multiset<std::string> all = Names();
  for (const bool on : {false, true}) {
    logic.liveSettings.culling = on;
    logic.culling.Restart(-100.0);
    for (int frame = 0; frame < SlowFrameCuller::kGraceFrames + 4; ++frame) logic.Update();
    EXPECT_EQ(Names(), on ? kept : all);
  }
  EXPECT_EQ(InterfaceManager::Instance().notice,
            "Removed 4 pieces to keep frames under 33 ms; culling can be switched off in the bar");
  logic.Kill();
}

TEST_F(SceneLogicTest, PressHoldsTheNearestObjectAheadAndTheCameraTurnsAndMovesAtItsRates) {
  // The camera's eye sits inside a big sphere (its hit lies behind the eye,
  // t < 0) and looks at a small one ahead (t > 0): the press must hold the
  // one ahead, never the one around or behind the eye.
  ObjectManager& manager = ObjectManager::Instance();
  Camera& camera = manager.camera;
  camera.mode = Camera::kEyeMode;
  camera.position = Vector(0.0f, 0.0f, 0.0f);
  camera.yaw = camera.pitch = 0.0f;  // looking along -z
  camera.UpdateView();

  auto addSphere = [&](const char* name, float z, float radius) {
    return manager.AddGameObject(BuildSolid(name, Vector(0.0f, 0.0f, z), Vector(radius, 0.0f, 0.0f), Sphere, Quaternion(), 1.0f));
  };
  addSphere("around", 1.0f, 3.0f);
  const uint32_t ahead = addSphere("ahead", -8.0f, 1.0f);

  CollisionManager& collision = CollisionManager::Instance();
  collision.pickOn = true;
  collision.collisionOn = false;
  const PickRay ray{Vector(0.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, -1.0f)};
  collision.SetPickRay(ray);
  collision.Update();
  std::vector<PickResult> results;
  collision.GetPickResults(results);
  ASSERT_TRUE(results.size() == 2u && (results[0].t < 0.0f || results[1].t < 0.0f)) << "a hit behind the eye is needed";

  ObjectBreakLogic logic;
  InputManager::Instance().table.PollButton(0, true);
  logic.pick.Update(true, camera, Vector(), 0.0f);
  EXPECT_TRUE(logic.pick.picking && logic.pick.hit.objectId == ahead && logic.pick.hit.t > 0.0f);

  // Only a hit behind the eye: nothing is held for this press.
  ObjectBreakLogic lonely;
  ClearScene();
  addSphere("around2", 1.0f, 3.0f);
  collision.SetPickRay(ray);
  collision.Update();
  lonely.pick.Update(true, camera, Vector(), 0.0f);
  EXPECT_TRUE(!lonely.pick.picking && lonely.pick.tried);

  // The right button turns the camera 3 radians per unit of cursor travel
  // (in device coordinates) from where it went down, the cursor going right
  // or down turning it right or down; W and D move it the camera speed (5) units
  // a second forward and to its right, as it faced at the frame's start.
  InputManager& input = InputManager::Instance();
  camera.yaw = 0.5f, camera.pitch = 0.1f;
  camera.position = Vector(0.0f, 1.0f, 0.0f);
  camera.UpdateView();
  input.mousePos = Vector();
  input.table.PollButton(1, true);
  lonely.cameraControl.Update(camera, input, 0.05f);
  input.mousePos = Vector(0.2f, -0.1f, 0.0f);
  input.table.KeyAction('W', 1), input.table.KeyAction('D', 1);
  lonely.cameraControl.Update(camera, input, 0.05f);
  EXPECT_TRUE(std::fabs(camera.yaw - (0.5f - 0.6f)) < 1e-6f && std::fabs(camera.pitch - (0.1f + 0.3f)) < 1e-6f);
  // 0.25 along right - back: right (cos 0.5, 0, -sin 0.5), back (sin 0.5 cos 0.1, sin 0.1, cos 0.5 cos 0.1).
  const double s = std::sin(0.5), c = std::cos(0.5), cp = std::cos(0.1);
  EXPECT_LT(Length(camera.position - Vector(0.25 * (c - s * cp), 1.0 - 0.25 * std::sin(0.1), -0.25 * (s + c * cp))), 1e-6f);
  // Looking straight down, W stops the eye above the ground.
  camera.pitch = -1.5f;
  lonely.cameraControl.Update(camera, input, 10.0f);
  EXPECT_EQ(camera.position.y, CameraController::kGroundClearance);

  collision.pickOn = false;
  collision.collisionOn = true;
  camera.mode = Camera::kOrbitMode;
}
