// Coming to rest in the headless scene: the halves of a cut sphere settle
// where they were cut, bodies at rest fall asleep and cost nothing, even
// under a body still moving on top, and a sleeping body wakes when it is
// hit or given a velocity.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "collision/collision_manager.h"
#include "physics/physics.h"
#include "scene/headless_scene.h"
#include "scene/split_orchestration.h"
#include "scene_test_util.h"

namespace {

bool AtRest(HeadlessScene& scene, uint32_t id) {
  const PhysicsComp& body = scene.Body(id);
  return body.sleeping && Length(body.linearVelocity) < 0.05f &&
         Length(body.angularVelocity) < 0.05f;
}

}  // namespace

TEST(RestAndSleep, HalvesOfAHorizontallyCutSphereRestWhereTheyWereCut) {
  HeadlessScene scene;
  const uint32_t sphere = scene.AddSolid("obj4", Vector(-1, 3, -2), Vector(2, 0, 0), Sphere);
  scene.Step(180);
  ASSERT_TRUE(AtRest(scene, sphere));
  const float oldTop = scene_test::Heights(scene.Object(sphere)).second;
  const Vector center = scene.Object(sphere).position;

  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(0, 1, 0), center));
  orchestrator.ProcessSplitQueue(1.0e6);
  // The new piece takes the half the plane's normal points to: the upper.
  uint32_t upper = 0;
  for (auto& entry : ObjectManager::Instance().objects)
    if (entry.second.name.rfind("split_obj_", 0) == 0) upper = entry.first;
  ASSERT_NE(upper, 0u);
  float highest = -1e9f;
  for (int step = 0; step < 300; ++step) {  // five seconds
    scene.Step(1);
    highest = std::max(highest, scene_test::Heights(scene.Object(upper)).second);
  }
  EXPECT_LE(highest, oldTop + 0.005f);  // never thrown up
  for (const uint32_t id : {sphere, upper}) {
    SCOPED_TRACE(scene.Object(id).name);
    EXPECT_TRUE(AtRest(scene, id));
    const auto [low, high] = scene_test::Heights(scene.Object(id));
    // Each half stays where it was: below or above the cut, not beside it.
    EXPECT_NEAR(std::max(std::fabs(high - center.y), std::fabs(low - center.y)), 2.0f, 0.03f);
    const Vector away = scene.Object(id).position - center;
    // Friction (mu 0.1) lets the upper half slide a little as the halves'
    // overlap at the cut is pushed apart.
    EXPECT_LT(std::hypot(away.x, away.z), 0.1f);
  }
}

TEST(RestAndSleep, SleepingBodiesCostNothingAndWakeWhenHitOrPushed) {
  HeadlessScene scene;
  const uint32_t box = scene.AddSolid("box", Vector(0, 1, 0), Vector(1, 0.5f, 1), Box);
  scene.Step(120);
  ASSERT_TRUE(AtRest(scene, box));
  // Asleep on the ground: no contact is made and no row is solved.
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  CollisionManager::Instance().GetContacts(manifolds, points);
  EXPECT_TRUE(manifolds.empty() && Physics::Instance().World().solver.RowCount() == 0u);

  // A ball dropped on it wakes it; then both rest again.
  const uint32_t ball = scene.AddSolid("ball", Vector(0.2f, 3, 0), Vector(0.4f, 0, 0), Sphere);
  bool woke = false;
  for (int step = 0; step < 60; ++step) {
    scene.Step(1);
    woke = woke || !scene.Body(box).sleeping;
  }
  EXPECT_TRUE(woke);
  scene.Step(600);
  EXPECT_TRUE(AtRest(scene, box) && AtRest(scene, ball));

  // A body rolling slowly on top (pushed once, at 0.4 units/s: a faceted
  // ball much slower than that cannot tip over its lowest facet's edge, and
  // stops; the push wakes both) does not keep the one below awake; a body moved by hand (a drag) wakes what it
  // touches; left alone, the two sleep once the ball has stopped.
  scene.Body(ball).linearVelocity = Vector(0, 0, 0.4f);
  int step = 0;
  for (; step < 90 && !(scene.Body(box).sleeping && !scene.Body(ball).sleeping); ++step)
    scene.Step(1);
  EXPECT_LT(step, 90) << "the box never slept while the ball rolled on it";
  scene.Object(ball).position.z += 0.01f;
  scene.Step(2);
  EXPECT_FALSE(scene.Body(box).sleeping);
  scene.Step(300);  // the ball rolls on a little, losing speed on its facets
  EXPECT_TRUE(AtRest(scene, box) && AtRest(scene, ball));
}
