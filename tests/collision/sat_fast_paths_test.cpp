// The hand-tuned inner loops of the narrow phase against plain versions of
// the same rules: the feature code against the interleaved 32-step search,
// and hull projection (vector lanes over a padded cloud) on hulls of every
// size around the lane widths.

#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "collision/sat_collision.h"
#include "collision_test_util.h"

namespace {

// The feature code as first written: one loop over the 32 steps, cycling
// x, y, z, with the probe and step of each axis in small arrays.
uint32_t PlainFeatureCode(const BoundingBox& box, const Vector& point) {
  uint32_t code = 0;
  float probe[3] = {box.center.x, box.center.y, box.center.z};
  const float p[3] = {point.x, point.y, point.z};
  float step[3] = {box.halfExtents.x, box.halfExtents.y, box.halfExtents.z};
  for (int i = 0; i < 32; ++i) {
    const int k = i % 3;
    if (p[k] - probe[k] >= 0.0f) {
      code |= 1u << i;
      probe[k] += step[k];
    } else {
      probe[k] -= step[k];
    }
    step[k] *= 0.5f;
  }
  return code;
}

TEST(FeatureCode, MatchesThePlainSearchEverywhereInAndAroundTheBox) {
  // Odd, flat and zero boxes; points on the centre, faces, cell boundaries
  // (multiples of h / 2^j) and well outside, so ties (p == probe) occur on
  // every axis.
  const BoundingBox boxes[] = {
      {Vector(0, 0, 0), Vector(1, 1, 1)},
      {Vector(0.3f, -2.0f, 7.5f), Vector(0.79f, 1.54f, 0.04f)},
      {Vector(-1, 4, 2), Vector(3, 0, 0.5f)},
      {Vector(0, 0, 0), Vector(0, 0, 0)},
  };
  int checked = 0;
  for (const BoundingBox& box : boxes) {
    for (int i = -20; i <= 20; ++i) {
      for (int j = -20; j <= 20; j += 3) {
        for (int k = -20; k <= 20; k += 5) {
          const Vector offset(box.halfExtents.x * static_cast<float>(i) / 8.0f,
                              box.halfExtents.y * static_cast<float>(j) / 8.0f + 0.001f * i,
                              box.halfExtents.z * static_cast<float>(k) / 8.0f);
          const Vector point = box.center + offset;
          ASSERT_EQ(SATCollision::FeatureCode(box, point), PlainFeatureCode(box, point))
              << "box centre " << box.center << " point " << point;
          ++checked;
        }
      }
    }
  }
  EXPECT_GT(checked, 1000);
}

// A hull of `count` vertices on a circle of radius 1 in the x-z plane, all
// at height y = `height`, plus the faces and edges of a flat slab.
CollisionComp RingHull(int count, float height) {
  CollisionComp comp;
  for (int i = 0; i < count; ++i) {
    const float angle = 6.2831853f * static_cast<float>(i) / static_cast<float>(count);
    comp.hullVertices.push_back(Vector(std::cos(angle), height, std::sin(angle)));
  }
  comp.faceNormals = {Vector(0, 1, 0), Vector(0, -1, 0), Vector(1, 0, 0), Vector(0, 0, 1)};
  comp.edgeDirections = {Vector(1, 0, 0), Vector(0, 0, 1)};
  comp.hasHull = true;
  comp.hasBoundingSphere = true;
  comp.boundingRadius = std::sqrt(1.0f + height * height);
  return comp;
}

TEST(SATCollision, DepthIsExactForHullsOfEverySizeAroundTheLaneWidths) {
  // A box top at y = 1 and a hull whose vertices all lie at local height
  // 10 (far from its own origin), placed so they sink d into the box. The
  // hull's extent along y is the single height of all its vertices, so any
  // padding lane that is not a copy of a real vertex (a zero, say) would
  // stretch it and change the depth or the normal.
  const CollisionComp box = collision_test::BoxHull(Vector(5, 1, 5));
  const float d = 0.25f;
  for (int count = 1; count <= 19; ++count) {
    const CollisionComp ring = RingHull(count, 10.0f);
    SATCollision sat;
    std::vector<ContactManifold> manifolds;
    std::vector<ContactPoint> points;
    const ContactSink sink{&manifolds, &points};
    const SatBody a{1, &box, RigidTransform(Quaternion(), Vector())};
    const SatBody b{2, &ring, RigidTransform(Quaternion(), Vector(0, 1.0f - d - 10.0f, 0))};
    ASSERT_TRUE(sat.Collide(a, b, false, 0.0, sink)) << count << " vertices";
    ASSERT_EQ(points.size(), 1u);
    EXPECT_NEAR(points[0].depth, d, 1e-5f) << count << " vertices";
    EXPECT_NEAR(points[0].normal.y, 1.0f, 1e-6f) << count << " vertices";
    EXPECT_NEAR(points[0].pointOnB.y, 1.0f - d, 1e-5f) << count << " vertices";
  }
}

}  // namespace
