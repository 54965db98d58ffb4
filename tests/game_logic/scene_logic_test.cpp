// The scene module in-process, without a window (no GPU buffers are made):
// Reset, gravity requests and the choice of the held object.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
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
#include "scene/solid_factory.h"
#include "support/objects.h"
#include "window/input_manager.h"

namespace {

class SceneLogicTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearScene(); }
  void TearDown() override {
    ClearScene();
    InputManager::Instance().table.Clear();
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

TEST_F(SceneLogicTest, ResetTwiceLeavesTheGroundAndTheThreeStartObjects) {
  ObjectBreakLogic& logic = GameLogic::Instance().Logic();
  logic.CreateGroundPlane();
  logic.SpawnInitialObjects();
  const std::multiset<std::string> start = {"GROUND_PLANE", "obj3", "obj4", "obj7"};
  ASSERT_EQ(Names(), start);
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
    // One gravity request per new object, naming it.
    std::deque<Event> events = EventManager::Instance().GetEvents("Physics");
    std::set<uint32_t> named;
    for (Event& e : events) {
      EXPECT_TRUE(e.type == "AddForce" && e.GetParam<std::string>("type") == "GravityForce");
      EXPECT_FLOAT_EQ(e.GetParam<float>("g"), 10.0f);
      named.insert(e.GetParam<uint32_t>("obj"));
    }
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(named, (std::set<uint32_t>{ObjectManager::Instance().GetObjNum("obj3"),
                                         ObjectManager::Instance().GetObjNum("obj4"),
                                         ObjectManager::Instance().GetObjNum("obj7")}));
  }
}

TEST_F(SceneLogicTest, PressHoldsTheNearestObjectInFrontOfTheEye) {
  // The camera's eye sits inside a big sphere (its hit lies behind the eye,
  // t < 0) and looks at a small one ahead (t > 0): the press must hold the
  // one ahead, never the one around or behind the eye.
  ObjectManager& manager = ObjectManager::Instance();
  Camera& camera = manager.camera;
  camera.mode = Camera::kEyeMode;
  camera.position = Vector(0.0f, 0.0f, 0.0f);
  camera.yaw = camera.pitch = 0.0f;  // looking along -z
  camera.UpdateView();
  manager.inverseProjection = Matrix4();

  auto addSphere = [&](const char* name, float z, float radius) {
    return manager.AddGameObject(
        BuildSolid(name, Vector(0.0f, 0.0f, z), Vector(radius, 0.0f, 0.0f), Sphere, Quaternion(), 1.0f));
  };
  ASSERT_NE(addSphere("around", 1.0f, 3.0f), 0u);
  const uint32_t ahead = addSphere("ahead", -8.0f, 1.0f);
  ASSERT_NE(ahead, 0u);

  CollisionManager& collision = CollisionManager::Instance();
  collision.pickOn = true;
  collision.collisionOn = false;
  const PickRay ray{Vector(0.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, -1.0f)};
  collision.SetPickRay(ray);
  collision.Update();
  std::vector<PickResult> results;
  collision.GetPickResults(results);
  ASSERT_EQ(results.size(), 2u);
  ASSERT_TRUE(std::any_of(results.begin(), results.end(),
                          [](const PickResult& r) { return r.t < 0.0f; }))
      << "the test needs a hit behind the eye";

  ObjectBreakLogic logic;
  InputManager::Instance().table.PollButton(0, true);
  logic.UpdatePick();
  EXPECT_TRUE(logic.pickState.picking);
  EXPECT_EQ(logic.pickState.held.objectId, ahead);
  EXPECT_GT(logic.pickState.held.t, 0.0f);

  // Only a hit behind the eye: nothing is held for this press.
  ObjectBreakLogic lonely;
  ClearScene();
  addSphere("around2", 1.0f, 3.0f);
  collision.SetPickRay(ray);
  collision.Update();
  lonely.UpdatePick();
  EXPECT_FALSE(lonely.pickState.picking);
  EXPECT_TRUE(lonely.pickState.tried);

  collision.pickOn = false;
  collision.collisionOn = true;
  camera.mode = Camera::kOrbitMode;
}
