// A new sphere is lifted just clear of the spheres it would overlap and of
// the floor; one it does not overlap stays where it is. A shot first looks
// for a clear place beside its aim, at the same height.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene/shot_placement.h"

TEST(ShotPlacement, LiftsJustClearOfEveryOverlapAndOfTheFloor) {
  auto sphere = [](float x, float y, float z, float r) {
    SphereEntry s;
    s.center = Vector(x, y, z);
    s.radius = r;
    return s;
  };
  const float g = kPlacementGap;
  // Inside a unit sphere at (0, 1, 0): lifted to (r1 + r2 + gap) from its
  // centre, 0.3 to the side; that lands inside a small sphere higher up,
  // which it must then clear as well (straight above it).
  std::vector<SphereEntry> others = {sphere(0, 1, 0, 1), sphere(0.3f, 2.6f, 0, 0.2f)};
  const float overFirst = 1.0f + std::sqrt((1.5f + g) * (1.5f + g) - 0.09f);
  ASSERT_LT(std::fabs(overFirst - 2.6f), 0.7f + g);  // the first lift lands in the second
  Vector placed = LiftClear(Vector(0.3f, 1.2f, 0), 0.5f, others, 0.0f);
  EXPECT_NEAR(placed.x, 0.3f, 1e-6f);
  EXPECT_NEAR(placed.y, 2.6f + 0.7f + g, 1e-4f);
  // Only the first sphere in the way: just over it.
  placed = LiftClear(Vector(0.3f, 1.2f, 0), 0.5f, {others[0]}, 0.0f);
  EXPECT_NEAR(placed.y, overFirst, 1e-4f);
  // Clear already: unchanged. Through the floor: on it.
  EXPECT_NEAR(LiftClear(Vector(5, 3, 0), 0.5f, others, 0.0f).y, 3.0f, 1e-6f);
  EXPECT_NEAR(LiftClear(Vector(5, -1, 0), 0.5f, others, 0.0f).y, 0.5f + g, 1e-6f);
}

TEST(ShotPlacement, ShotsGoBesideWhatIsInTheWayBeforeAbove) {
  SphereEntry big;
  big.center = Vector(0, 1, 0);
  big.radius = 1.0f;
  const float r = 0.5f, g = kPlacementGap;
  const auto clearOf = [&](const Vector& p, const SphereEntry& o) {
    const float dx = p.x - o.center.x, dy = p.y - o.center.y, dz = p.z - o.center.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz) >= r + o.radius + g - 1e-5f;
  };
  // Aimed at the big sphere's centre: the nearest ring place outside it is
  // on ring k = ceil((1 + r + g) / r) = 4 (ring k lies k r out), same height.
  Vector placed = PlaceClear(Vector(0, 1, 0), r, {big}, 0.0f);
  EXPECT_NEAR(placed.y, 1.0f, 1e-6f);
  EXPECT_NEAR(std::hypot(placed.x, placed.z), 4 * r, 1e-4f);
  EXPECT_TRUE(clearOf(placed, big));
  // Beyond the rings' reach (a sphere of radius 3 around the aim): lifted.
  big.radius = 3.0f;
  placed = PlaceClear(Vector(0, 1, 0), r, {big}, 0.0f);
  EXPECT_NEAR(placed.y, 1.0f + 3.0f + r + g, 1e-4f);
  EXPECT_NEAR(std::hypot(placed.x, placed.z), 0.0f, 1e-6f);
  // Clear already: unchanged; below the floor: raised onto it.
  EXPECT_NEAR(PlaceClear(Vector(5, -1, 0), r, {big}, 0.0f).y, r + g, 1e-6f);
}
