// Qhull hulls: facets merged and outward, edges as distinct axes, the inner
// ball, the vertex bound kept without losing the cloud's extent, and flat
// input refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "collision/qhull_hull.h"

namespace {

float Support(const std::vector<Vector>& points, const Vector& n) {
  float best = -1e30f;
  for (const Vector& p : points) best = std::max(best, Dot3(p, n));
  return best;
}

TEST(QhullHull, TetrahedronWithInnerAndFacePointsGivesItsFourFacesSixEdgesAndInnerBall) {
  std::vector<Vector> points = {Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)};
  std::srand(7);
  for (int i = 0; i < 300; ++i) {  // inside (a + b + c < 1) and on the faces (one of them 0)
    float a = std::rand() / float(RAND_MAX), b = std::rand() / float(RAND_MAX) * (1 - a);
    float c = std::rand() / float(RAND_MAX) * (1 - a - b);
    points.push_back(i % 3 == 0 ? Vector(a, b, 0) : i % 3 == 1 ? Vector(0, a, b) : Vector(a, b, c));
  }
  ConvexHull hull;
  std::string error;
  ASSERT_TRUE(BuildConvexHull(points, 32, hull, error)) << error;
  EXPECT_EQ(hull.vertices.size(), 4u);
  const float k = 1.0f / std::sqrt(3.0f), h = 1.0f / std::sqrt(2.0f);
  const std::vector<Vector> normals = {Vector(-1, 0, 0), Vector(0, -1, 0), Vector(0, 0, -1), Vector(k, k, k)};
  const std::vector<Vector> edges = {Vector(1, 0, 0), Vector(0, 1, 0),  Vector(0, 0, 1),
                                     Vector(h, -h, 0), Vector(h, 0, -h), Vector(0, h, -h)};
  auto matches = [](const std::vector<Vector>& found, const std::vector<Vector>& expected, bool eitherSign) {
    if (found.size() != expected.size()) return false;
    for (const Vector& e : expected)
      if (std::none_of(found.begin(), found.end(), [&](const Vector& f) {
            return std::fabs(Dot3(f, e) - 1.0f) < 1e-5f || (eitherSign && std::fabs(Dot3(f, e) + 1.0f) < 1e-5f);
          }))
        return false;
    return true;
  };
  EXPECT_TRUE(matches(hull.faceNormals, normals, false));
  EXPECT_TRUE(matches(hull.edgeDirections, edges, true));
  // The inner ball: about (0.2, 0.2, 0.2) the flat faces are nearest (the
  // slanted one is 0.4 / sqrt 3 away), about (0.3, 0.3, 0.3) the slanted
  // one (0.1 / sqrt 3); none about a centre outside.
  EXPECT_NEAR(InnerRadius(points, Vector(0.2f, 0.2f, 0.2f)), 0.999f * 0.2f, 1e-6f);
  EXPECT_NEAR(InnerRadius(points, Vector(0.3f, 0.3f, 0.3f)), 0.999f * 0.1f * k, 1e-6f);
  EXPECT_EQ(InnerRadius(points, Vector(0.5f, 0.5f, 0.5f)), 0.0f);
}

TEST(QhullHull, BoundedHullOfASphereCloudStillReachesOutEverywhereAndFlatInputFails) {
  std::vector<Vector> points;
  std::srand(11);
  while (points.size() < 3000) {
    const Vector p(std::rand() / float(RAND_MAX) * 2 - 1, std::rand() / float(RAND_MAX) * 2 - 1,
                   std::rand() / float(RAND_MAX) * 2 - 1);
    const float r = std::sqrt(Dot3(p, p));
    if (r > 0.1f && r <= 1.0f) points.push_back(points.size() % 2 ? p / r : p);  // half on the sphere
  }
  ConvexHull hull;
  std::string error;
  ASSERT_TRUE(BuildConvexHull(points, 32, hull, error)) << error;
  EXPECT_EQ(hull.vertices.size(), 32u);
  for (const Vector& v : hull.vertices) EXPECT_NEAR(std::sqrt(Dot3(v, v)), 1.0f, 1e-5f);
  // Spread-out vertices: no facet passes near the centre.
  for (const Vector& n : hull.faceNormals) EXPECT_GT(Support(hull.vertices, n), 0.8f);

  std::vector<Vector> flat = {Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(1, 1, 0), Vector(2, 3, 0)};
  EXPECT_FALSE(BuildConvexHull(flat, 32, hull, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
