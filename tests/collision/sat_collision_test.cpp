// The separating-axis narrow phase: separation and its cache, penetration
// depth and normal, single and multiple contacts, symmetry, feature codes.

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "collision/sat_collision.h"
#include "collision_test_util.h"

namespace {

using collision_test::BoxHull;
using collision_test::ReportCapture;

// Every call gets fresh object ids so the shared cache starts clean.
uint32_t NextId() {
  static uint32_t id = 1000;
  return ++id;
}

struct Output {
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  ContactSink Sink() { return ContactSink{&manifolds, &points}; }
};

SatBody Body(uint32_t id, const CollisionComp& comp, const Vector& position,
             const Quaternion& orientation = Quaternion()) {
  return SatBody{id, &comp, RigidTransform(orientation, position)};
}

Quaternion RandomOrientation(std::mt19937& random) {
  std::normal_distribution<float> normal;
  return Quaternion(normal(random), Vector(normal(random), normal(random), normal(random))).Normalized();
}

void ExpectNear(const Vector& a, const Vector& b, float tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

// A box hull with the six face centres added: more vertices than a plain box
// hull, so it becomes the reference frame of the pair.
CollisionComp RichBoxHull(const Vector& half) {
  CollisionComp comp = BoxHull(half);
  for (int k = 0; k < 3; ++k) {
    Vector v;
    v[k] = half[k];
    comp.hullVertices.push_back(v);
    comp.hullVertices.push_back(-v);
  }
  return comp;
}

TEST(SATCollision, SeparatedBoxesCacheTheSeparatingFaceNormal) {
  // Two unit boxes 0.05 apart along one face normal, the pair turned by a
  // random rotation: no contact, and the cached axis is that normal.
  std::mt19937 random(5);
  const CollisionComp box = BoxHull(Vector(1, 1, 1));
  for (int trial = 0; trial < 30; ++trial) {
    const Quaternion q = RandomOrientation(random);
    const int k = trial % 3;
    Vector gap;
    gap[k] = (trial % 2 == 0 ? 1.0f : -1.0f) * 2.05f;
    SATCollision sat;
    Output out;
    const uint32_t a = NextId(), b = NextId();
    EXPECT_FALSE(sat.Collide(Body(a, box, Vector(3, 1, 2), q), Body(b, box, Vector(3, 1, 2) + q.Rotate(gap), q),
                             true, 0.0, out.Sink()));
    EXPECT_TRUE(out.manifolds.empty());
    EXPECT_TRUE(out.points.empty());
    uint32_t index = 0;
    ASSERT_TRUE(sat.CachedAxis(b, a, index));
    ASSERT_LT(index, sat.LastAxes().size());
    EXPECT_NEAR(std::fabs(sat.LastAxes()[index][k]), 1.0f, 1e-4f) << "trial " << trial;
  }
}

TEST(SATCollision, SmallBoxSunkIntoLargeBoxGivesTopNormalAndDepth) {
  // B (small) sunk d into A's top face at y = 1, with either box as the
  // reference frame (B on a tie of plain boxes, A when it is richer).
  for (const bool richA : {false, true}) {
    const CollisionComp large = richA ? RichBoxHull(Vector(5, 1, 5)) : BoxHull(Vector(5, 1, 5));
    const CollisionComp small = BoxHull(Vector(0.5f, 0.5f, 0.5f));
    for (const float d : {0.01f, 0.1f, 0.3f}) {
      SATCollision sat;
      Output out;
      const Vector position(1.0f, 1.0f + 0.5f - d, -2.0f);
      const uint32_t a = NextId(), b = NextId();
      ASSERT_TRUE(sat.Collide(Body(a, large, Vector()), Body(b, small, position), false, 1.5, out.Sink()));
      ASSERT_EQ(out.manifolds.size(), 1u);
      ASSERT_EQ(out.points.size(), 1u);
      const ContactManifold& m = out.manifolds[0];
      EXPECT_EQ(m.objectA, a);
      EXPECT_EQ(m.objectB, b);
      EXPECT_EQ(m.firstPoint, 0u);
      EXPECT_EQ(m.pointCount, 1u);
      EXPECT_EQ(m.time, 1.5);
      EXPECT_EQ(m.positionB, position);
      const ContactPoint& p = out.points[0];
      ExpectNear(p.normal, Vector(0, 1, 0), 1e-6f);
      EXPECT_NEAR(p.depth, d, 1e-5f);
      // Deepest vertex of B, the point on A's top face, and halfway between.
      EXPECT_NEAR(p.pointOnB.y, 1.0f - d, 1e-5f);
      EXPECT_NEAR(p.pointOnA.y, 1.0f, 1e-5f);
      EXPECT_NEAR(p.point.y, 1.0f - 0.5f * d, 1e-5f);
      uint32_t unused = 0;
      EXPECT_FALSE(sat.CachedAxis(a, b, unused));  // overlapping pairs leave no entry
    }
  }
}

TEST(SATCollision, BoxFlatOnBoxGivesItsFourBottomCorners) {
  CollisionComp large = BoxHull(Vector(5, 1, 5));
  CollisionComp small = BoxHull(Vector(0.5f, 0.5f, 0.5f));
  // Local boxes grown as the scene grows them, so face contacts do not sit
  // on the feature codes' cell boundaries.
  large.localBox.halfExtents += Vector(0.04f, 0.04f, 0.04f);
  small.localBox.halfExtents += Vector(0.04f, 0.04f, 0.04f);
  const float d = 0.02f;
  SATCollision sat;
  Output out;
  out.points.resize(3);  // already in the buffer: the manifold must point past it
  const Vector position(1.013f, 1.5f - d, -2.021f);
  ASSERT_TRUE(sat.Collide(Body(NextId(), large, Vector()), Body(NextId(), small, position), true, 0.0,
                          out.Sink()));
  ASSERT_EQ(out.manifolds.size(), 1u);
  EXPECT_EQ(out.manifolds[0].firstPoint, 3u);
  ASSERT_EQ(out.manifolds[0].pointCount, 4u);
  ASSERT_EQ(out.points.size(), 7u);
  std::set<std::pair<float, float>> corners;
  std::set<uint32_t> featuresA, featuresB;
  for (size_t i = 3; i < 7; ++i) {
    const ContactPoint& p = out.points[i];
    EXPECT_NEAR(p.depth, d, 1e-5f);
    EXPECT_NEAR(p.pointOnB.y, 1.0f - d, 1e-5f);
    EXPECT_NEAR(p.pointOnA.y, 1.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(p.pointOnB.x - position.x), 0.5f, 1e-5f);
    EXPECT_NEAR(std::fabs(p.pointOnB.z - position.z), 0.5f, 1e-5f);
    ExpectNear(p.normal, Vector(0, 1, 0), 1e-6f);
    corners.insert({p.pointOnB.x, p.pointOnB.z});
    featuresA.insert(p.featureA);
    featuresB.insert(p.featureB);
  }
  EXPECT_EQ(corners.size(), 4u);
  EXPECT_EQ(featuresA.size(), 4u);
  EXPECT_EQ(featuresB.size(), 4u);
  // A small slide keeps every contact's keys: the warm start depends on it.
  Output moved;
  ASSERT_TRUE(sat.Collide(Body(NextId(), large, Vector()),
                          Body(NextId(), small, position + Vector(1e-4f, 0, -1e-4f)), true, 0.0, moved.Sink()));
  ASSERT_EQ(moved.points.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(moved.points[i].featureA, out.points[3 + i].featureA);
    EXPECT_EQ(moved.points[i].featureB, out.points[3 + i].featureB);
  }
}

TEST(SATCollision, NeverMoreThanTenPointsAndTheDeepestFirst) {
  // A plate whose underside is a 5 x 5 grid of vertices at slightly
  // different depths, all within the band.
  CollisionComp plate = BoxHull(Vector(1, 0.1f, 1));
  plate.hullVertices.clear();
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 5; ++j) {
      const float x = -1.0f + 0.5f * i, z = -1.0f + 0.5f * j;
      plate.hullVertices.push_back(Vector(x, -0.1f - 0.001f * (i + 5 * j), z));
      plate.hullVertices.push_back(Vector(x, 0.1f, z));
    }
  }
  const CollisionComp ground = BoxHull(Vector(10, 1, 10));
  SATCollision sat;
  Output out;
  ASSERT_TRUE(sat.Collide(Body(NextId(), ground, Vector()), Body(NextId(), plate, Vector(0, 1.05f, 0)),
                          true, 0.0, out.Sink()));
  ASSERT_EQ(out.manifolds.size(), 1u);
  EXPECT_EQ(out.manifolds[0].pointCount, SATCollision::kMaxContactPoints);
  ASSERT_EQ(out.points.size(), 10u);
  for (size_t i = 0; i < out.points.size(); ++i) {
    // Deepest first: the grid's last ten vertices, in order.
    EXPECT_NEAR(out.points[i].pointOnB.y, 1.05f - 0.1f - 0.001f * (24 - i), 1e-5f);
    if (i > 0) { EXPECT_GE(out.points[i - 1].depth, out.points[i].depth); }
  }
}

TEST(SATCollision, SwappingAAndBFlipsTheNormal) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> size(0.4f, 1.2f), offset(-1.0f, 1.0f);
  int compared = 0;
  for (int trial = 0; trial < 100; ++trial) {
    const CollisionComp first = BoxHull(Vector(size(random), size(random), size(random)));
    // Equal vertex counts (the reference swaps with the order) or a richer
    // second hull (the reference stays).
    const Vector half(size(random), size(random), size(random));
    const CollisionComp second = trial % 2 == 0 ? BoxHull(half) : RichBoxHull(half);
    const Quaternion q1 = RandomOrientation(random), q2 = RandomOrientation(random);
    const Vector p2(offset(random), offset(random), offset(random));
    const uint32_t id1 = NextId(), id2 = NextId();
    SATCollision sat;
    Output ab, ba;
    const bool hitAB = sat.Collide(Body(id1, first, Vector(), q1), Body(id2, second, p2, q2), false, 0.0, ab.Sink());
    const bool hitBA = sat.Collide(Body(id2, second, p2, q2), Body(id1, first, Vector(), q1), false, 0.0, ba.Sink());
    ASSERT_EQ(hitAB, hitBA) << "trial " << trial;
    if (!hitAB) continue;
    ++compared;
    EXPECT_EQ(ab.manifolds[0].objectA, id1);
    EXPECT_EQ(ba.manifolds[0].objectA, id2);
    ExpectNear(ab.points[0].normal, -ba.points[0].normal, 1e-4f);
    EXPECT_NEAR(ab.points[0].depth, ba.points[0].depth, 1e-4f);
  }
  EXPECT_GT(compared, 50);
}

TEST(SATCollision, DegenerateHullsAreApartOrReported) {
  const CollisionComp box = BoxHull(Vector(1, 1, 1));
  const CollisionComp empty;
  CollisionComp bare;  // vertices but no face normals and no edges
  bare.hullVertices = {Vector(0, 0, 0), Vector(1, 0, 0)};
  SATCollision sat;
  Output out;
  ReportCapture capture;
  EXPECT_FALSE(sat.Collide(Body(NextId(), box, Vector()), Body(NextId(), empty, Vector()), true, 0.0, out.Sink()));
  EXPECT_FALSE(sat.Collide(Body(NextId(), empty, Vector()), Body(NextId(), box, Vector()), true, 0.0, out.Sink()));
  EXPECT_EQ(sat.CacheSize(), 0u);
  EXPECT_EQ(capture.Count("assert failed!"), 0u);
  EXPECT_FALSE(sat.Collide(Body(NextId(), bare, Vector()), Body(NextId(), bare, Vector()), false, 0.0, out.Sink()));
  EXPECT_TRUE(out.manifolds.empty());
  EXPECT_EQ(capture.Count("assert failed!"), 1u);
  // Multiple contacts without local boxes: one report per object, and the
  // contact is still produced.
  CollisionComp large = BoxHull(Vector(5, 1, 5)), small = BoxHull(Vector(0.5f, 0.5f, 0.5f));
  large.hasLocalBox = small.hasLocalBox = false;
  EXPECT_TRUE(sat.Collide(Body(NextId(), large, Vector()), Body(NextId(), small, Vector(0, 1.4f, 0)), true, 0.0,
                          out.Sink()));
  EXPECT_EQ(capture.Count("assert failed!"), 3u);
  EXPECT_EQ(out.manifolds.size(), 1u);
  EXPECT_FALSE(System::Instance().running);
}

// The code's cell structure is checked against a plain search in
// sat_fast_paths_test.cpp; here, the fixed point the contact keys rely on.
TEST(FeatureCode, BoxCentreIsSevenAndStableUnderSmallMotions) {
  BoundingBox box;
  box.center = Vector(1, -2, 3);
  box.halfExtents = Vector(0.5f, 2.0f, 1.0f);
  // Tiny moves to the positive side stay below the finest step.
  for (float f : {0.0f, 1e-6f, 1e-5f, 1e-4f}) {
    EXPECT_EQ(SATCollision::FeatureCode(box, box.center + Vector(f * 0.5f, f * 2.0f, f)), 7u);
  }
}

}  // namespace
