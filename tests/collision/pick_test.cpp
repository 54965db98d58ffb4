// Picking: the ray/sphere test against the quadratic solved in double, and
// the pick pass over the object table.

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "collision/pick.h"
#include "collision_test_util.h"

namespace {

using collision_test::MakeSolid;
using collision_test::SceneMesh;
using collision_test::Shape;

// Random rays and spheres, after hand cases for the edges: a non-unit
// direction, a graze, a start inside, a sphere wholly behind, just beside,
// no direction. t is in units of the direction's length and is the nearer
// root, behind the origin when the ray starts inside or past the sphere.
TEST(PickSphere, HitsAtTheNearerRootOfTheQuadratic) {
  struct Case {
    Vector origin, direction;
    float radius;
  };
  std::vector<Case> cases = {{Vector(0, 0, 10), Vector(0, 0, -2), 1.0f},    {Vector(0, 1, 3), Vector(0, 0, -1), 1.0f},
                             {Vector(0, 0, 0.5f), Vector(0, 0, 1), 2.0f},   {Vector(0, 0, 5), Vector(0, 0, 1), 1.0f},
                             {Vector(0, 1.01f, 10), Vector(0, 0, -1), 1.0f}, {Vector(0, 0, 0), Vector(0, 0, 0), 1.0f}};
  std::mt19937 random(5);
  std::uniform_real_distribution<float> unit(-3.0f, 3.0f), radius(0.1f, 2.0f);
  for (int n = 0; n < 500; ++n)
    cases.push_back({Vector(unit(random), unit(random), unit(random)), Vector(unit(random), unit(random), unit(random)), radius(random)});
  int hits = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.origin << c.direction << c.radius);
    double a = 0, b = 0, q = -double(c.radius) * c.radius;
    for (int k = 0; k < 3; ++k) a += double(c.direction[k]) * c.direction[k], b += 2.0 * c.direction[k] * c.origin[k],
                                 q += double(c.origin[k]) * c.origin[k];
    const double disc = b * b - 4 * a * q;
    float t = 7.0f;  // untouched on a miss
    const bool hit = PickSphere(PickRay{c.origin, c.direction}, Vector(), c.radius, t);
    if (a == 0.0 || disc < -1e-6) {
      EXPECT_FALSE(hit);
      EXPECT_EQ(t, 7.0f);
    } else if (disc == 0.0 || disc > 1e-4) {
      ASSERT_TRUE(hit);
      EXPECT_NEAR(t, (-b - std::sqrt(disc)) / (2 * a), 1e-3 * (1 + std::abs(t)));
      ++hits;
    }
  }
  EXPECT_GT(hits, 50);
}

using PickPass = collision_test::SceneTest;

TEST_F(PickPass, ReportsPickableLiveObjectsOnTheRay) {
  CollisionManager& manager = CollisionManager::Instance();
  // On the ray: two pickable spheres, one not pickable, one without its
  // sphere, one killed; beside it, one more.
  const char* names[] = {"near", "far", "hidden", "no sphere", "killed", "beside"};
  for (int i = 0; i < 6; ++i) {
    GameObject object = MakeSolid(names[i], SceneMesh(Shape::Sphere, 1.0f), Vector(i == 5 ? 5.0f : 0.0f, 0, -2.0f * i));
    object.FindComponent<CollisionComp>("CollisionComp")->pickable = i != 2;
    object.FindComponent<CollisionComp>("CollisionComp")->hasBoundingSphere = i != 3;
    Add(object);
  }
  ObjectManager& objects = ObjectManager::Instance();
  const uint32_t near = objects.GetObjNum("near"), far = objects.GetObjNum("far");
  objects.KillGameObject(objects.GetGameObject("killed"));

  manager.SetPickRay(PickRay{Vector(0, 0, 10), Vector(0, 0, -1)});
  manager.pickOn = true;
  manager.Update();
  std::vector<PickResult> results;
  manager.GetPickResults(results);
  ASSERT_EQ(results.size(), 2u);
  if (results[0].objectId != near) std::swap(results[0], results[1]);
  EXPECT_EQ(results[0].objectId, near);
  EXPECT_EQ(results[1].objectId, far);
  // The sphere's radius includes the hull margin; its centre is the mesh's.
  const CollisionComp* comp = objects.GetGameObject(near).FindComponent<CollisionComp>("CollisionComp");
  const Vector c = comp->boundingCenter;
  const float r = comp->boundingRadius;
  EXPECT_NEAR(results[0].t, 10.0f - c.z - std::sqrt(r * r - c.x * c.x - c.y * c.y), 1e-4f);
  EXPECT_NEAR(results[0].point.z, 10.0f - results[0].t, 1e-4f);
  EXPECT_EQ(results[1].position, Vector(0, 0, -2));
}

}  // namespace
