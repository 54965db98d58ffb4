// Bodies dropped on the ground in the headless scene, collision and physics
// in lockstep as on the two worker threads: a rebuilt scene starts clean,
// everything falls under g = 10 and comes to rest on (not in) the ground at
// the contact slop, with no contact ever pulling.

#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "collision/collision_manager.h"
#include "physics/physics.h"
#include "scene/headless_scene.h"
#include "scene_test_util.h"
#include "support/log_capture.h"

TEST(HeadlessScene, RebuiltSceneObjectsComeToRestOnTheGroundAtTheSlopDepth) {
  support::LogCapture log;
  uint32_t firstGround = 0;
  {
    HeadlessScene scene;
    firstGround = scene.groundId;
    scene.AddStartObjects();
    scene.Step(5);
  }
  // A destroyed scene leaves nothing behind for the next one.
  PhysicsWorld& world = Physics::Instance().World();
  EXPECT_TRUE(ObjectManager::Instance().objects.empty() && world.bodies.empty() && world.forces.empty());
  HeadlessScene scene;
  EXPECT_NE(scene.groundId, firstGround);
  std::vector<uint32_t> ids = scene.AddStartObjects();
  const uint32_t box = scene.AddSolid("box", Vector(8, 1.0f, 0), Vector(1, 0.5f, 1), Box);
  ids.push_back(box);
  for (uint32_t id : ids) ASSERT_NE(id, 0u);
  scene.Step(2);
  EXPECT_TRUE(world.bodies.size() == 5u && world.forces.size() == 4u && world.GroundId() == scene.groundId);
  EXPECT_NEAR(scene.Body(ids[0]).linearVelocity.y, -20.0f / 60.0f, 1e-4f);  // two steps from rest
  const Vector groundStart = scene.Object(scene.groundId).position;
  for (int i = 2; i < 600; ++i) {  // ten seconds in all
    scene.Step(1);
    for (size_t row = 0; row < world.solver.RowCount(); ++row)
      ASSERT_TRUE(!world.solver.bodyMap[row].isContact || world.solver.Lambda(row) >= 0.0f) << row;
    ASSERT_TRUE(scene.Object(scene.groundId).position == groundStart && scene.Body(scene.groundId).linearVelocity == Vector());
    for (uint32_t id : ids)
      ASSERT_TRUE(scene_test::Finite(scene.Object(id).position) && std::isfinite(scene.Object(id).orientation.s) &&
                  scene_test::Finite(scene.Body(id).angularVelocity)) << i;
  }
  for (uint32_t id : ids) {
    SCOPED_TRACE(scene.Object(id).name);
    EXPECT_LT(Length(scene.Body(id).linearVelocity), 0.05f);
    EXPECT_LT(Length(scene.Body(id).angularVelocity), 0.05f);
  }
  // The hull margin (0.08 at the centre of a bottom face) is what sinks in,
  // so the meshes rest on the top face: the sphere (radius 2) and the boxes
  // (half heights 1 and 0.5) at their sizes plus a little.
  EXPECT_NEAR(scene.Object(ids[1]).position.y, 2.0f + 0.08f, 0.1f);
  EXPECT_NEAR(scene.Object(ids[2]).position.y, 1.0f + 0.08f, 0.1f);
  EXPECT_NEAR(scene.Object(box).position.y, 0.5f, 0.03f);
  EXPECT_NEAR(std::hypot(scene.Object(box).position.x - 8.0f, scene.Object(box).position.z), 0.0f, 0.02f);
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  CollisionManager::Instance().GetContacts(manifolds, points);
  int boxContacts = 0;
  for (const ContactManifold& m : manifolds) {
    if (m.objectB != box && m.objectA != box) continue;
    ++boxContacts;
    ASSERT_GE(m.pointCount, 3u);
    float deepest = 0.0f;
    for (uint32_t p = m.firstPoint; p < m.firstPoint + m.pointCount; ++p) deepest = std::max(deepest, points[p].depth);
    EXPECT_NEAR(deepest, 0.08f, 0.01f);
  }
  EXPECT_EQ(boxContacts, 1);
  EXPECT_FALSE(log.ErrorLogged()) << log.NewLog();
}
