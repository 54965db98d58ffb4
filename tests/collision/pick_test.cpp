// Picking: the ray/sphere test and the pick pass over the object table.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "collision/pick.h"
#include "collision_test_util.h"

namespace {

using collision_test::MakeSolid;
using collision_test::SceneMesh;
using collision_test::SceneTest;
using collision_test::Shape;

PickRay Ray(const Vector& origin, const Vector& direction) {
  PickRay ray;
  ray.origin = origin;
  ray.direction = direction;
  return ray;
}

TEST(PickSphere, HitsMissesGrazesAndRaysFromInside) {
  // t is in units of the direction's length; a ray starting inside (or past)
  // the sphere reports the entry behind its origin.
  struct Case {
    Vector origin, direction;
    float radius;
    bool hit;
    float t;
  } cases[] = {
      {Vector(0, 0, 10), Vector(0, 0, -2), 1.0f, true, 4.5f},         // non-unit direction
      {Vector(-5, 0.6f, 0), Vector(1, 0, 0), 1.0f, true, 4.2f},       // off-centre chord
      {Vector(0, 1, 3), Vector(0, 0, -1), 1.0f, true, 3.0f},          // grazing: disc = 0
      {Vector(0, 0, 0.5f), Vector(0, 0, 1), 2.0f, true, -2.5f},       // from inside
      {Vector(0, 0, 5), Vector(0, 0, 1), 1.0f, true, -6.0f},          // sphere wholly behind
      {Vector(0, 1.01f, 10), Vector(0, 0, -1), 1.0f, false, 7.0f},    // just beside
      {Vector(5, 5, 5), Vector(1, 0, 0), 1.0f, false, 7.0f},          // far away
      {Vector(0, 0, 0), Vector(0, 0, 0), 1.0f, false, 7.0f},          // no direction
  };
  for (const Case& c : cases) {
    float t = 7.0f;  // untouched on a miss
    EXPECT_EQ(PickSphere(Ray(c.origin, c.direction), Vector(0, 0, 0), c.radius, t), c.hit) << c.origin;
    EXPECT_NEAR(t, c.t, 1e-5f) << c.origin;
  }
}

using PickPass = SceneTest;

TEST_F(PickPass, ReportsPickableLiveObjectsOnTheRay) {
  CollisionManager& manager = CollisionManager::Instance();
  const uint32_t near = Add(MakeSolid("near", SceneMesh(Shape::Sphere, 1.0f), Vector(0, 0, 0)));
  const uint32_t far = Add(MakeSolid("far", SceneMesh(Shape::Box, 0.5f), Vector(0, 0, -10)));
  GameObject hidden = MakeSolid("hidden", SceneMesh(Shape::Sphere, 1.0f), Vector(0, 0, -5));
  hidden.Find<CollisionComp>()->pickable = false;
  Add(hidden);
  GameObject noSphere = MakeSolid("no sphere", SceneMesh(Shape::Sphere, 1.0f), Vector(0, 0, -7));
  noSphere.Find<CollisionComp>()->hasBoundingSphere = false;
  Add(noSphere);
  const uint32_t killed = Add(MakeSolid("killed", SceneMesh(Shape::Sphere, 1.0f), Vector(0, 0, -3)));
  Add(MakeSolid("beside", SceneMesh(Shape::Sphere, 1.0f), Vector(5, 0, -3)));
  ObjectManager& objects = ObjectManager::Instance();
  {
    ObjectLock lock;
    objects.KillGameObject(objects.GetGameObject(killed));
  }

  manager.SetPickRay(Ray(Vector(0, 0, 10), Vector(0, 0, -1)));
  manager.pickOn = true;
  manager.Update();
  std::vector<PickResult> results;
  manager.GetPickResults(results);
  ASSERT_EQ(results.size(), 2u);
  if (results[0].objectId != near) std::swap(results[0], results[1]);
  EXPECT_EQ(results[0].objectId, near);
  EXPECT_EQ(results[1].objectId, far);
  const CollisionComp* comp =
      objects.GetGameObject(near).Find<CollisionComp>();
  // The sphere's radius includes the hull margin; its centre is the mesh's.
  const Vector c = comp->boundingCenter;
  const float r = comp->boundingRadius;
  EXPECT_NEAR(results[0].t, 10.0f - c.z - std::sqrt(r * r - c.x * c.x - c.y * c.y), 1e-4f);
  EXPECT_NEAR(results[0].point.z, 10.0f - results[0].t, 1e-4f);
  EXPECT_EQ(results[1].position, Vector(0, 0, -10));
  EXPECT_GE(results[0].time, 0.0);
}

}  // namespace
