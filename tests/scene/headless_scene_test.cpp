// Bodies dropped on the ground in the headless scene: collision and physics
// in lockstep, as on the two worker threads.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/system.h"
#include "physics/physics.h"
#include "scene/headless_scene.h"
#include "scene_test_util.h"

using scene_test::Finite;

TEST(HeadlessScene, BoxRestsOnTheGroundWithItsMeshOnTheTopFace) {
  HeadlessScene scene;
  const uint32_t box = scene.AddSolid("box", Vector(0, 1.0f, 0), Vector(1, 0.5f, 1), Box);
  const Vector groundStart = scene.Object(scene.groundId).position;
  for (int i = 0; i < 240; ++i) {
    scene.Step(1);
    ConstraintSolver& solver = Physics::Instance().World().solver;
    for (size_t row = 0; row < solver.RowCount(); ++row)
      ASSERT_TRUE(!solver.bodyMap[row].isContact || solver.Lambda(row) >= 0.0f) << row;
    ASSERT_EQ(scene.Object(scene.groundId).position, groundStart);
    ASSERT_EQ(scene.Body(scene.groundId).linearVelocity, Vector());
    ASSERT_EQ(scene.Body(scene.groundId).angularVelocity, Vector());
  }
  EXPECT_LT(Length(scene.Body(box).linearVelocity), 0.05f);
  EXPECT_LT(Length(scene.Body(box).angularVelocity), 0.05f);
  EXPECT_NEAR(scene.Object(box).position.x, 0.0f, 0.02f);
  EXPECT_NEAR(scene.Object(box).position.z, 0.0f, 0.02f);
  // Only the hull margins overlap, so the mesh itself rests on the top face
  // (0.01 deep at most).
  EXPECT_NEAR(scene.Object(box).position.y, 0.5f, 0.015f);
}

TEST(HeadlessScene, RebuiltSceneStartObjectsComeToRestAboveTheGround) {
  const size_t logStart = System::Instance().GetLogText().size();
  uint32_t firstGround = 0;
  {
    HeadlessScene scene;
    firstGround = scene.groundId;
    scene.AddStartObjects();
    scene.Step(5);
    EXPECT_EQ(Physics::Instance().World().bodies.size(), 4u);
  }
  // A destroyed scene leaves nothing behind for the next one.
  EXPECT_TRUE(ObjectManager::Instance().objects.empty());
  EXPECT_TRUE(Physics::Instance().World().bodies.empty());
  EXPECT_TRUE(Physics::Instance().World().forces.empty());

  HeadlessScene scene;
  EXPECT_NE(scene.groundId, firstGround);
  const std::vector<uint32_t> ids = scene.AddStartObjects();
  ASSERT_EQ(ids.size(), 3u);
  for (uint32_t id : ids) ASSERT_NE(id, 0u);
  scene.Step(2);
  EXPECT_EQ(Physics::Instance().World().bodies.size(), 4u);
  EXPECT_EQ(Physics::Instance().World().forces.size(), 3u);
  EXPECT_EQ(Physics::Instance().World().GroundId(), scene.groundId);
  // Falling under g = 10 from rest for two steps.
  EXPECT_NEAR(scene.Body(ids[0]).linearVelocity.y, -20.0f / 60.0f, 1e-4f);

  for (int i = 2; i < 600; ++i) {  // ten seconds in all
    scene.Step(1);
    for (uint32_t id : ids) {
      GameObject& o = scene.Object(id);
      PhysicsComp& b = scene.Body(id);
      ASSERT_TRUE(Finite(o.position) && Finite(o.orientation.u) && std::isfinite(o.orientation.s) &&
                  Finite(b.linearVelocity) && Finite(b.angularVelocity))
          << i;
    }
  }
  for (uint32_t id : ids) {
    SCOPED_TRACE(scene.Object(id).name);
    EXPECT_LT(Length(scene.Body(id).linearVelocity), 0.05f);
    EXPECT_LT(Length(scene.Body(id).angularVelocity), 0.05f);
    EXPECT_GT(scene.Object(id).position.y, 0.0f);
  }
  // The sphere (radius 2) and the box (half height 1) rest on the ground.
  EXPECT_NEAR(scene.Object(ids[1]).position.y, 2.0f + 0.08f, 0.1f);
  EXPECT_NEAR(scene.Object(ids[2]).position.y, 1.0f + 0.08f, 0.1f);
  EXPECT_EQ(System::Instance().GetLogText().find("ERROR", logStart), std::string::npos);
}
