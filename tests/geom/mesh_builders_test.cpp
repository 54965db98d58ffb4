// The primitive builders: closed, outward-wound surfaces of the right volume,
// and the sphere's exact vertex and triangle order.

#include <gtest/gtest.h>

#include <cmath>

#include "geom/mesh_builders.h"
#include "geom_test_util.h"

namespace {

using geomtest::ClosedSurfaceFault;
using geomtest::IndicesInRange;
using geomtest::SignedVolume;

const double kPi = 3.14159265358979323846;

void ExpectUnitCornerNormals(const Mesh& mesh) {
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
    for (int c = 0; c < 3; ++c) ASSERT_NEAR(Length(mesh.CornerNormal(t, c)), 1.0f, 1e-5f);
}

TEST(BuildBox, ClosedOutwardExactVolume) {
  struct Case {
    uint32_t dx, dy, dz;
    float w, h, d;
  };
  const Case cases[] = {{1, 1, 1, 1, 1, 1}, {2, 2, 2, 2, 3, 4}, {3, 1, 4, 0.5f, 2, 1.5f},
                        {5, 7, 2, 10, 1, 3}, {0, 0, 0, 1, 2, 3}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.dx << "x" << k.dy << "x" << k.dz);
    const Mesh box = BuildBox(k.dx, k.dy, k.dz, k.w, k.h, k.d);
    EXPECT_EQ(box.name, "Box");
    EXPECT_EQ(ClosedSurfaceFault(box), "");
    EXPECT_TRUE(IndicesInRange(box));
    EXPECT_NEAR(SignedVolume(box), double(k.w) * k.h * k.d, 1e-5 * k.w * k.h * k.d);
    // Each face is a grid of 2 triangles per cell; shared edge vertices mean
    // exactly the surface lattice points exist.
    const uint32_t dx = std::max(k.dx, 1u), dy = std::max(k.dy, 1u), dz = std::max(k.dz, 1u);
    EXPECT_EQ(box.TriangleCount(), 4 * (dx * dy + dy * dz + dz * dx));
    const uint32_t all = (dx + 1) * (dy + 1) * (dz + 1);
    const uint32_t inner = (dx - 1) * (dy - 1) * (dz - 1);
    EXPECT_EQ(box.VertexCount(), all - inner);
    for (const Vertex& v : box.vertices) {
      EXPECT_LE(std::abs(v.x), 0.5f * k.w + 1e-6f);
      EXPECT_LE(std::abs(v.y), 0.5f * k.h + 1e-6f);
      EXPECT_LE(std::abs(v.z), 0.5f * k.d + 1e-6f);
    }
    ExpectUnitCornerNormals(box);
    // Flat corner normals point out of the face they belong to.
    for (uint32_t t = 0; t < box.TriangleCount(); ++t) {
      const Vector centre =
          (box.CornerPosition(t, 0) + box.CornerPosition(t, 1) + box.CornerPosition(t, 2)) / 3.0f;
      ASSERT_GT(Dot3(box.CornerNormal(t, 0), centre), 0.0f);
    }
  }
}

// Volume of a frustum between two similar regular n-gons of circumradius
// r0 and r1 and height h: h/3 (A0 + A1 + sqrt(A0 A1)).
double PolygonFrustumVolume(uint32_t n, double r0, double r1, double h) {
  const double k = 0.5 * n * std::sin(2 * kPi / n);
  const double a0 = k * r0 * r0, a1 = k * r1 * r1;
  return h / 3.0 * (a0 + a1 + std::sqrt(a0 * a1));
}

TEST(BuildCone, ClosedOutwardExactVolumeBaseUp) {
  struct Case {
    uint32_t slices, stacks;
    float base, top, height;
  };
  const Case cases[] = {{16, 8, 1, 0, 2},      {3, 1, 1, 0, 1},    {16, 8, 1, 0.5f, 2},
                        {40, 3, 2, 3, 1},      {7, 5, 0.5f, 1e-7f, 4}, {64, 16, 1.5f, 0.25f, 3}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.slices << "/" << k.stacks << " top " << k.top);
    const Mesh cone = BuildCone(k.slices, k.stacks, k.base, k.top, k.height);
    EXPECT_EQ(cone.name, "Cone");
    EXPECT_EQ(ClosedSurfaceFault(cone), "");
    EXPECT_TRUE(IndicesInRange(cone));
    const double top = k.top < 1e-6f ? 0.0 : k.top;
    const double expected = PolygonFrustumVolume(k.slices, k.base, top, k.height);
    EXPECT_NEAR(SignedVolume(cone), expected, 1e-5 * expected);
    ExpectUnitCornerNormals(cone);

    // Base circle at y = +height/2, apex (or top circle) at y = -height/2.
    float maxRadiusUp = 0, maxRadiusDown = 0;
    int apexVertices = 0;
    for (const Vertex& v : cone.vertices) {
      const float r = std::hypot(v.x, v.z);
      if (std::abs(v.y - 0.5f * k.height) < 1e-6f) maxRadiusUp = std::max(maxRadiusUp, r);
      if (std::abs(v.y + 0.5f * k.height) < 1e-6f) {
        maxRadiusDown = std::max(maxRadiusDown, r);
        ++apexVertices;
      }
    }
    EXPECT_NEAR(maxRadiusUp, k.base, 1e-5f);
    EXPECT_NEAR(maxRadiusDown, top, 1e-5f);
    if (top == 0.0) {
      EXPECT_EQ(apexVertices, 1);
    }
  }
  // A fine cone approaches pi r^2 h / 3.
  const Mesh fine = BuildCone(256, 4, 1, 0, 3);
  EXPECT_NEAR(SignedVolume(fine), kPi, 1e-3 * kPi);
}

TEST(BuildSphere, ClosedOutwardVolumeNearBall) {
  const uint32_t sizes[][2] = {{12, 12}, {3, 2}, {5, 9}, {16, 3}, {64, 64}};
  for (const auto& sk : sizes) {
    SCOPED_TRACE(testing::Message() << sk[0] << "x" << sk[1]);
    const float r = 1.5f;
    const Mesh sphere = BuildSphere(sk[0], sk[1], r);
    EXPECT_EQ(sphere.name, "Sphere");
    EXPECT_EQ(ClosedSurfaceFault(sphere), "");
    EXPECT_TRUE(IndicesInRange(sphere));
    const double v = SignedVolume(sphere);
    const double ball = 4.0 / 3.0 * kPi * r * r * r;
    EXPECT_GT(v, 0.0);
    EXPECT_LT(v, ball);  // inscribed polyhedron
    if (sk[0] >= 64) {
      EXPECT_NEAR(v, ball, 0.01 * ball);
    }
  }
}

TEST(BuildSphere, VertexAndTriangleOrderAndSmoothNormals) {
  const uint32_t s = 5, k = 4;
  const float r = 2.0f;
  const Mesh m = BuildSphere(s, k, r);
  ASSERT_EQ(m.VertexCount(), 2 + k * s);
  ASSERT_EQ(m.TriangleCount(), 2 * s + 2 * s * (k - 2));
  EXPECT_EQ(m.vertices[0].Position(), Vector(0, r, 0, 0));
  EXPECT_EQ(m.vertices[1].Position(), Vector(0, -r, 0, 0));
  auto ring = [&](uint32_t i, uint32_t j) { return 2 + i * s + j; };
  for (uint32_t i = 1; i <= k; ++i)
    for (uint32_t j = 0; j < s; ++j) {
      const double phi = i * kPi / k, theta = j * 2 * kPi / s;
      const Vertex& v = m.vertices[ring(i - 1, j)];
      EXPECT_NEAR(v.x, r * std::sin(phi) * std::cos(theta), 1e-5);
      EXPECT_NEAR(v.y, r * std::cos(phi), 1e-5);
      EXPECT_NEAR(v.z, r * std::sin(phi) * std::sin(theta), 1e-5);
    }
  // Caps first, alternating top and bottom, then the body row by row.
  auto expectTriangle = [&](uint32_t t, uint32_t a, uint32_t b, uint32_t c) {
    EXPECT_EQ(m.triangles[t].indices[0], a) << "triangle " << t;
    EXPECT_EQ(m.triangles[t].indices[1], b) << "triangle " << t;
    EXPECT_EQ(m.triangles[t].indices[2], c) << "triangle " << t;
  };
  for (uint32_t j = 0; j < s; ++j) {
    const uint32_t jn = (j + 1) % s;
    expectTriangle(2 * j, ring(0, jn), ring(0, j), 0);
    expectTriangle(2 * j + 1, ring(k - 2, j), ring(k - 2, jn), 1);
  }
  uint32_t t = 2 * s;
  for (uint32_t row = 0; row + 3 <= k; ++row)
    for (uint32_t j = 0; j < s; ++j, t += 2) {
      const uint32_t jn = (j + 1) % s;
      expectTriangle(t, ring(row, jn), ring(row + 1, jn), ring(row + 1, j));
      expectTriangle(t + 1, ring(row + 1, j), ring(row, j), ring(row, jn));
    }
  // The last ring (on the bottom pole) is used by no triangle.
  for (const Triangle& tri : m.triangles)
    for (uint32_t i : tri.indices) EXPECT_LT(i, ring(k - 1, 0));
  // Smooth shading: each corner normal is its position's direction.
  for (uint32_t tt = 0; tt < m.TriangleCount(); ++tt)
    for (int c = 0; c < 3; ++c) {
      const Vector p = m.CornerPosition(tt, c) / r;
      const Vector n = m.CornerNormal(tt, c);
      ASSERT_NEAR(n.x, p.x, 1e-5f);
      ASSERT_NEAR(n.y, p.y, 1e-5f);
      ASSERT_NEAR(n.z, p.z, 1e-5f);
    }
}

}  // namespace
