// The separating-axis narrow phase: separation and its cache, penetration
// depth and normal, single and multiple contacts and their keys, symmetry,
// degenerate hulls; and the hand-tuned inner loops (the feature code, hull
// projection in vector lanes) against plain versions of the same rules.

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "collision/sat_collision.h"
#include "collision_test_util.h"
#include "core/system.h"
#include "support/log_capture.h"

namespace {

using collision_test::BoxHull;

struct Output {
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  ContactSink Sink() { return ContactSink{&manifolds, &points}; }
};

// Collides a at pa, qa with b at pb, qb; fresh object ids each call, so the
// shared cache starts clean. The ids used are a's and a's + 1.
bool Collide(SATCollision& sat, const CollisionComp& a, const Vector& pa, const Quaternion& qa,
             const CollisionComp& b, const Vector& pb, const Quaternion& qb, bool multiple, Output& out,
             uint32_t* firstId = nullptr) {
  static uint32_t id = 1000;
  id += 2;
  if (firstId != nullptr) *firstId = id;
  return sat.Collide(SatBody{id, &a, RigidTransform(qa, pa)}, SatBody{id + 1, &b, RigidTransform(qb, pb)}, multiple,
                     1.5, out.Sink());
}

Quaternion RandomOrientation(std::mt19937& random) {
  std::normal_distribution<float> normal;
  return Quaternion(normal(random), Vector(normal(random), normal(random), normal(random))).Normalized();
}

// A box hull with the six face centres added: more vertices than a plain box
// hull, so it becomes the reference frame of the pair.
CollisionComp RichBoxHull(const Vector& half) {
  CollisionComp comp = BoxHull(half);
  for (int k = 0; k < 6; ++k) {
    Vector v;
    v[k / 2] = k % 2 ? half[k / 2] : -half[k / 2];
    comp.hullVertices.push_back(v);
  }
  return comp;
}

// Two unit boxes 0.05 apart along one face normal, the pair turned by a
// random rotation: no contact, and the cached axis is that normal. Then a
// small box sunk d into the top face (y = 1) of a large one, with either as
// the reference frame (B on a tie of plain boxes, A when it is richer).
TEST(SATCollision, SeparationIsCachedAndASunkBoxGivesTheTopNormalAndDepth) {
  std::mt19937 random(5);
  const CollisionComp box = BoxHull(Vector(1, 1, 1));
  for (int trial = 0; trial < 30; ++trial) {
    const Quaternion q = RandomOrientation(random);
    Vector gap;
    gap[trial % 3] = (trial % 2 == 0 ? 1.0f : -1.0f) * 2.05f;
    SATCollision sat;
    Output out;
    uint32_t a = 0, index = 0;
    EXPECT_FALSE(Collide(sat, box, Vector(3, 1, 2), q, box, Vector(3, 1, 2) + q.Rotate(gap), q, true, out, &a));
    EXPECT_TRUE(out.manifolds.empty() && out.points.empty());
    ASSERT_TRUE(sat.CachedAxis(a + 1, a, index));
    ASSERT_LT(index, sat.LastAxes().size());
    EXPECT_NEAR(std::fabs(sat.LastAxes()[index][trial % 3]), 1.0f, 1e-4f) << "trial " << trial;
  }
  const CollisionComp small = BoxHull(Vector(0.5f, 0.5f, 0.5f));
  for (const CollisionComp& large : {BoxHull(Vector(5, 1, 5)), RichBoxHull(Vector(5, 1, 5))})
    for (const float d : {0.01f, 0.1f, 0.3f}) {
      SATCollision sat;
      Output out;
      uint32_t a = 0, unused = 0;
      ASSERT_TRUE(Collide(sat, large, Vector(), Quaternion(), small, Vector(1, 1.5f - d, -2), Quaternion(), false, out, &a));
      ASSERT_TRUE(out.manifolds.size() == 1u && out.points.size() == 1u);
      const ContactManifold& m = out.manifolds[0];
      EXPECT_TRUE(m.objectA == a && m.objectB == a + 1 && m.firstPoint == 0u && m.pointCount == 1u && m.time == 1.5);
      const ContactPoint& p = out.points[0];
      EXPECT_NEAR(p.normal.y, 1.0f, 1e-6f);
      EXPECT_NEAR(p.depth, d, 1e-5f);
      // Deepest vertex of B, the point on A's top face, and halfway between.
      EXPECT_NEAR(p.pointOnB.y, 1.0f - d, 1e-5f);
      EXPECT_NEAR(p.pointOnA.y, 1.0f, 1e-5f);
      EXPECT_NEAR(p.point.y, 1.0f - 0.5f * d, 1e-5f);
      EXPECT_FALSE(sat.CachedAxis(a, a + 1, unused));  // overlapping pairs leave no entry
    }
  // Remembered apart along one face normal, then sunk 0.1 through another
  // face: the walk starts at the remembered axis and must still reach the
  // axes listed before it. The small box, turned 45 degrees about y, is the
  // pair's reference (ties go to B), so the large box's normals come after
  // its own in the list and are the only ones along x and z.
  const Vector half(5, 1, 5), extent(std::sqrt(0.5f), 0.5f, std::sqrt(0.5f));  // B's, turned
  const CollisionComp large = BoxHull(half);
  const Quaternion turned(std::cos(0.3927f), Vector(0, std::sin(0.3927f), 0));
  for (int k = 0; k < 9; ++k) {  // apart along k / 3, then sunk along k % 3
    SATCollision sat;
    Output out;
    Vector apart, sunk;
    apart[k / 3] = half[k / 3] + extent[k / 3] + 1.0f, sunk[k % 3] = half[k % 3] + extent[k % 3] - 0.1f;
    const auto collide = [&](const Vector& at) {
      return sat.Collide(SatBody{1, &large, RigidTransform()}, SatBody{2, &small, RigidTransform(turned, at)}, false, 0.0, out.Sink());
    };
    ASSERT_TRUE(!collide(apart) && collide(sunk)) << k;
    EXPECT_TRUE(std::fabs(out.points[0].normal[k % 3] - 1.0f) < 1e-5f && std::fabs(out.points[0].depth - 0.1f) < 1e-5f) << k;
  }
}

// The depth the physics measures for a point of a manifold: from A's
// support vertex (recovered from the first point) to the point's vertex of
// B, along the normal.
float SignedDepth(const Output& out, const ContactPoint& p) {
  const ContactPoint& first = out.points[out.manifolds[0].firstPoint];
  return Dot3(first.point * 2.0f - first.pointOnB - p.pointOnB, p.normal);
}

// Hulls apart by less than the pair's reach give a manifold along the axis
// of their largest gap, every point at minus its gap; farther apart, none,
// and the pair's axis is remembered either way. The reach is (|vA - vB| +
// each turn times its sphere's far side) over two steps of 1/60 s, plus
// 0.01, each body's part at most 5.
TEST(SATCollision, PairsApartWithinTheirReachGetMinusTheGapAlongTheLargestGap) {
  const CollisionComp large = BoxHull(Vector(5, 1, 5));
  CollisionComp small = BoxHull(Vector(0.5f, 0.5f, 0.5f));
  // {vA.y, vB.y, wB.z, gap, reported}: reaches 1.01 (either at 30 towards
  // the other), 0.01 (falling together, or at rest), 15 sqrt(0.75) / 30 +
  // 0.01 = 0.443 (B turning), 5.01 (B at 1e5).
  const float cases[][5] = {{0, -30, 0, 0.95f, 1}, {30, 0, 0, 1.1f, 0}, {-30, -30, 0, 0.2f, 0}, {0, 0, 0, 0.005f, 1},
                            {0, 0, 15, 0.4f, 1},   {0, 0, 15, 0.5f, 0},  {0, -1e5f, 0, 4.9f, 1}, {0, -1e5f, 0, 5.1f, 0}};
  for (const auto& c : cases) {
    CollisionComp a = large;
    a.SetMotion(Vector(0, c[0], 0), Vector());
    small.SetMotion(Vector(0, c[1], 0), Vector(0, 0, c[2]));
    SATCollision sat;
    Output out;
    uint32_t id = 0, index = 0;
    ASSERT_EQ(Collide(sat, a, Vector(), Quaternion(), small, Vector(1, 1.5f + c[3], -2), Quaternion(), true, out, &id),
              c[4] != 0) << "gap " << c[3];
    ASSERT_TRUE(sat.CachedAxis(id, id + 1, index) && std::fabs(sat.LastAxes()[index].y) > 0.999999f);
    ASSERT_EQ(out.points.size(), c[4] != 0 ? 4u : 0u);
    for (const ContactPoint& p : out.points)
      EXPECT_TRUE(p.normal.y > 0.999999f && std::fabs(p.depth + c[3]) < 1e-5f && std::fabs(SignedDepth(out, p) + c[3]) < 1e-5f &&
                  std::fabs(p.pointOnB.y - 1.0f - c[3]) < 1e-5f) << "gap " << c[3];
  }

  // Beside A's edge and above it, apart by 0.2 along x (the first axis
  // tried) and 0.6 along y: the pair is at least 0.6 apart, along y.
  small.SetMotion(Vector(0, -30, 0), Vector());
  SATCollision sat;
  Output side, ridges;
  ASSERT_TRUE(Collide(sat, large, Vector(), Quaternion(), small, Vector(5.7f, 2.1f, 0), Quaternion(), false, side));
  EXPECT_TRUE(side.points[0].normal.y > 0.999999f && std::fabs(SignedDepth(side, side.points[0]) + 0.6f) < 1e-5f);

  // Tetrahedra with a ridge along x on top, (+-1, 1, 0), and one along z
  // below, (0, -1, +-1), the upper 2.3 above the lower: the ridges cross 0.3
  // apart and only their cross product separates the pair. Their data is
  // turned by q, so that no axis lies in a coordinate plane.
  const Quaternion q = Quaternion::FromAxisAngle(Normalize(Vector(1, 2, 3)), 0.7f);
  CollisionComp tetra;
  for (const Vector& v : {Vector(1, 1, 0), Vector(-1, 1, 0), Vector(0, -1, 1), Vector(0, -1, -1)})
    tetra.hullVertices.push_back(q.Rotate(v));
  for (const Vector& n : {Vector(0, 1, 2), Vector(0, 1, -2), Vector(2, -1, 0), Vector(-2, -1, 0)})
    tetra.faceNormals.push_back(q.Rotate(n / std::sqrt(5.0f)));
  for (const Vector& e : {Vector(1, 0, 0), Vector(0, 0, 1), Vector(1, 2, -1), Vector(1, 2, 1), Vector(-1, 2, -1), Vector(-1, 2, 1)})
    tetra.edgeDirections.push_back(q.Rotate(Normalize(e)));
  CollisionComp upper = tetra;
  upper.SetMotion(Vector(0, -30, 0), Vector());
  ASSERT_TRUE(Collide(sat, tetra, Vector(), Quaternion(), upper, q.Rotate(Vector(0, 2.3f, 0)), Quaternion(), false, ridges));
  EXPECT_NEAR(Dot3(ridges.points[0].normal, q.Rotate(Vector(0, 1, 0))), 1.0f, 1e-5f);
  EXPECT_NEAR(SignedDepth(ridges, ridges.points[0]), -0.3f, 1e-5f);
}

TEST(SATCollision, BoxFlatOnBoxGivesItsFourBottomCornersWithSteadyKeys) {
  CollisionComp large = BoxHull(Vector(5, 1, 5)), small = BoxHull(Vector(0.5f, 0.5f, 0.5f));
  // Local boxes grown as the scene grows them, so face contacts do not sit
  // on the feature codes' cell boundaries.
  large.localBox.halfExtents += Vector(0.04f, 0.04f, 0.04f);
  small.localBox.halfExtents += Vector(0.04f, 0.04f, 0.04f);
  const float d = 0.02f;
  const Vector position(1.013f, 1.5f - d, -2.021f);
  SATCollision sat;
  Output out, moved;
  out.points.resize(3);  // already in the buffer: the manifold must point past it
  ASSERT_TRUE(Collide(sat, large, Vector(), Quaternion(), small, position, Quaternion(), true, out));
  ASSERT_EQ(out.manifolds.size(), 1u);
  ASSERT_TRUE(out.manifolds[0].firstPoint == 3u && out.manifolds[0].pointCount == 4u && out.points.size() == 7u);
  std::set<std::pair<float, float>> corners;
  std::set<uint32_t> featuresA, featuresB;
  for (size_t i = 3; i < 7; ++i) {
    const ContactPoint& p = out.points[i];
    EXPECT_TRUE(std::fabs(p.depth - d) < 1e-5f && std::fabs(p.pointOnB.y - (1.0f - d)) < 1e-5f && p.normal.y > 0.99999f);
    EXPECT_NEAR(std::fabs(p.pointOnB.x - position.x), 0.5f, 1e-5f);
    EXPECT_NEAR(std::fabs(p.pointOnB.z - position.z), 0.5f, 1e-5f);
    corners.insert({p.pointOnB.x, p.pointOnB.z});
    featuresA.insert(p.featureA);
    featuresB.insert(p.featureB);
  }
  EXPECT_TRUE(corners.size() == 4u && featuresA.size() == 4u && featuresB.size() == 4u);
  // A small slide keeps every contact's keys: the warm start depends on it.
  ASSERT_TRUE(Collide(sat, large, Vector(), Quaternion(), small, position + Vector(1e-4f, 0, -1e-4f), Quaternion(),
                      true, moved));
  ASSERT_EQ(moved.points.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_TRUE(moved.points[i].featureA == out.points[3 + i].featureA &&
                moved.points[i].featureB == out.points[3 + i].featureB);
  }
}

TEST(SATCollision, NeverMoreThanTenPointsAndTheDeepestFirst) {
  // A plate whose underside is a 5 x 5 grid of vertices at slightly
  // different depths, all within the band.
  CollisionComp plate = BoxHull(Vector(1, 0.1f, 1));
  plate.hullVertices.clear();
  for (int n = 0; n < 25; ++n) {
    plate.hullVertices.push_back(Vector(-1.0f + 0.5f * (n % 5), -0.1f - 0.001f * n, -1.0f + 0.5f * (n / 5)));
    plate.hullVertices.push_back(Vector(-1.0f + 0.5f * (n % 5), 0.1f, -1.0f + 0.5f * (n / 5)));
  }
  SATCollision sat;
  Output out;
  ASSERT_TRUE(Collide(sat, BoxHull(Vector(10, 1, 10)), Vector(), Quaternion(), plate, Vector(0, 1.05f, 0), Quaternion(),
                      true, out));
  ASSERT_EQ(out.manifolds.size(), 1u);
  EXPECT_EQ(out.manifolds[0].pointCount, SATCollision::kMaxContactPoints);
  ASSERT_EQ(out.points.size(), 10u);
  for (size_t i = 0; i < out.points.size(); ++i)  // the grid's last ten vertices, deepest first
    EXPECT_NEAR(out.points[i].pointOnB.y, 1.05f - 0.1f - 0.001f * (24 - i), 1e-5f);
}

// An empty hull is apart; a hull without axes is reported; multiple contacts
// without local boxes are reported once per object and still produced.
TEST(SATCollision, DegenerateHullsAreApartOrReported) {
  const CollisionComp box = BoxHull(Vector(1, 1, 1)), empty;
  CollisionComp bare;  // vertices but no face normals and no edges
  bare.hullVertices = {Vector(0, 0, 0), Vector(1, 0, 0)};
  SATCollision sat;
  Output out;
  support::LogCapture capture;
  EXPECT_FALSE(Collide(sat, box, Vector(), Quaternion(), empty, Vector(), Quaternion(), true, out) ||
               Collide(sat, empty, Vector(), Quaternion(), box, Vector(), Quaternion(), true, out));
  EXPECT_TRUE(sat.CacheSize() == 0u && capture.Count("assert failed!") == 0u);
  EXPECT_FALSE(Collide(sat, bare, Vector(), Quaternion(), bare, Vector(), Quaternion(), false, out));
  EXPECT_TRUE(out.manifolds.empty() && capture.Count("assert failed!") == 1u);
  CollisionComp large = BoxHull(Vector(5, 1, 5)), small = BoxHull(Vector(0.5f, 0.5f, 0.5f));
  large.hasLocalBox = small.hasLocalBox = false;
  EXPECT_TRUE(Collide(sat, large, Vector(), Quaternion(), small, Vector(0, 1.4f, 0), Quaternion(), true, out) &&
              capture.Count("assert failed!") == 3u && out.manifolds.size() == 1u);
  EXPECT_FALSE(System::Instance().running);
}

// The feature code as first written: one loop over the 32 steps, cycling
// x, y, z, with the probe and step of each axis in small arrays.
uint32_t PlainFeatureCode(const BoundingBox& box, const Vector& point) {
  uint32_t code = 0;
  float probe[3] = {box.center.x, box.center.y, box.center.z}, step[3] = {box.halfExtents.x, box.halfExtents.y, box.halfExtents.z};
  for (int i = 0; i < 32; ++i) {
    const int k = i % 3;
    const bool above = point[k] - probe[k] >= 0.0f;
    code |= above ? 1u << i : 0u;
    probe[k] += above ? step[k] : -step[k];
    step[k] *= 0.5f;
  }
  return code;
}

// Odd, flat and zero boxes; points on the centre, faces, cell boundaries
// (multiples of h / 2^j) and well outside, so ties (p == probe) occur on
// every axis. The centre is code 7, and tiny moves to the positive side stay
// below the finest step: the contact keys rely on that fixed point.
TEST(FeatureCode, MatchesThePlainSearchEverywhereInAndAroundTheBox) {
  const BoundingBox boxes[] = {{Vector(0, 0, 0), Vector(1, 1, 1)},
                               {Vector(0.3f, -2.0f, 7.5f), Vector(0.79f, 1.54f, 0.04f)},
                               {Vector(-1, 4, 2), Vector(3, 0, 0.5f)},
                               {Vector(0, 0, 0), Vector(0, 0, 0)}};
  for (const BoundingBox& box : boxes)
    for (int i = -20; i <= 20; ++i)
      for (int j = -20; j <= 20; j += 3)
        for (int k = -20; k <= 20; k += 5) {
          const Vector point = box.center + Vector(box.halfExtents.x * i / 8.0f, box.halfExtents.y * j / 8.0f + 0.001f * i,
                                                   box.halfExtents.z * k / 8.0f);
          ASSERT_EQ(SATCollision::FeatureCode(box, point), PlainFeatureCode(box, point)) << point;
        }
  for (float f : {0.0f, 1e-6f, 1e-5f, 1e-4f})
    EXPECT_EQ(SATCollision::FeatureCode(boxes[1], boxes[1].center + Vector(f * 0.79f, f * 1.54f, f * 0.04f)), 7u);
}

// A box top at y = 1 and a hull of `count` vertices on a unit circle all at
// local height 10 (far from its own origin), placed so they sink d into the
// box. The hull's extent along y is that one height, so any padding lane
// that is not a copy of a real vertex (a zero, say) would stretch it and
// change the depth or the normal.
TEST(SATCollision, DepthIsExactForHullsOfEverySizeAroundTheLaneWidths) {
  const CollisionComp box = BoxHull(Vector(5, 1, 5));
  const float d = 0.25f;
  for (int count = 1; count <= 19; ++count) {
    CollisionComp ring;
    for (int i = 0; i < count; ++i)
      ring.hullVertices.push_back(Vector(std::cos(6.2831853f * i / count), 10.0f, std::sin(6.2831853f * i / count)));
    ring.faceNormals = {Vector(0, 1, 0), Vector(0, -1, 0), Vector(1, 0, 0), Vector(0, 0, 1)};
    ring.edgeDirections = {Vector(1, 0, 0), Vector(0, 0, 1)};
    ring.hasHull = ring.hasBoundingSphere = true;
    ring.boundingRadius = std::sqrt(101.0f);
    SATCollision sat;
    Output out;
    ASSERT_TRUE(Collide(sat, box, Vector(), Quaternion(), ring, Vector(0, 1.0f - d - 10.0f, 0), Quaternion(), false, out));
    ASSERT_EQ(out.points.size(), 1u);
    EXPECT_NEAR(out.points[0].depth, d, 1e-5f) << count << " vertices";
    EXPECT_NEAR(out.points[0].normal.y, 1.0f, 1e-6f) << count << " vertices";
    EXPECT_NEAR(out.points[0].pointOnB.y, 1.0f - d, 1e-5f) << count << " vertices";
  }
}

// A hull's interval on its own face normals comes from its face extents,
// and axes the inner balls settle are passed over; the pairs of the scene's
// solids, turned and placed at random, overlapping or a little apart, get
// the same answer as with every vertex projected on every axis.
TEST(SATCollision, FaceExtentsGiveWhatProjectingEveryVertexGives) {
  using collision_test::MakeSolid, collision_test::SceneMesh, collision_test::Shape;
  std::mt19937 random(11);
  std::uniform_real_distribution<float> offset(-1.6f, 1.6f);
  const Shape shapes[3] = {Shape::Box, Shape::Sphere, Shape::Cone};
  int hits = 0;
  for (int trial = 0; trial < 300; ++trial) {
    CollisionComp a = *MakeSolid("a", SceneMesh(shapes[trial % 3], 0.75f), Vector()).Find<CollisionComp>();
    CollisionComp b = *MakeSolid("b", SceneMesh(shapes[trial / 3 % 3], 0.6f), Vector()).Find<CollisionComp>();
    const Vector at(offset(random), offset(random), offset(random));
    const Quaternion qa = RandomOrientation(random), qb = RandomOrientation(random);
    SATCollision fast, plain;
    Output read, projected;
    const bool hit = Collide(fast, a, Vector(), qa, b, at, qb, true, read);
    ASSERT_EQ(a.faceExtents.size(), 2 * a.faceNormals.size());
    a.faceExtents.clear(), b.faceExtents.clear();
    a.innerRadius = b.innerRadius = 0.0f;  // no axis passed over either
    ASSERT_EQ(Collide(plain, a, Vector(), qa, b, at, qb, true, projected), hit) << trial;
    if (!hit) continue;
    ++hits;
    EXPECT_TRUE(std::fabs(read.points[0].depth - projected.points[0].depth) < 1e-4f &&
                Dot3(read.points[0].normal, projected.points[0].normal) > 1.0f - 1e-5f) << trial;
  }
  EXPECT_GT(hits, 100);
}

}  // namespace
