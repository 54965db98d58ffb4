// The primitive builders: closed, outward-wound surfaces of the right volume,
// and the sphere's exact vertex and triangle order.

#include "geom/mesh_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "geom_test_util.h"

namespace {

using geomtest::SignedVolume;
using geomtest::SurfaceFault;

const double kPi = 3.14159265358979323846;

// Checks the name, closedness and unit corner normals; returns the signed
// volume, which the caller compares with the solid's (positive = outward).
double ClosedVolume(const Mesh& mesh, const char* name) {
  EXPECT_EQ(mesh.name, name);
  EXPECT_EQ(SurfaceFault(mesh), "");
  float worst = 0.0f;
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
    for (int c = 0; c < 3; ++c)
      worst = std::max(worst, std::abs(Length(mesh.CornerNormal(t, c)) - 1));
  EXPECT_LT(worst, 1e-5f);
  return SignedVolume(mesh);
}

TEST(BuildBox, ClosedOutwardExactVolume) {
  struct Case {
    uint32_t dx, dy, dz;
    float w, h, d;
  };
  const Case cases[] = {{1, 1, 1, 1, 1, 1},
                        {2, 2, 2, 2, 3, 4},
                        {3, 1, 4, 0.5f, 2, 1.5f},
                        {5, 7, 2, 10, 1, 3},
                        {0, 0, 0, 1, 2, 3}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.dx << "x" << k.dy << "x" << k.dz);
    const Mesh box = BuildBox(k.dx, k.dy, k.dz, k.w, k.h, k.d);
    const double volume = double(k.w) * k.h * k.d;
    EXPECT_NEAR(ClosedVolume(box, "Box"), volume, 1e-5 * volume);
    // Each face is a grid of 2 triangles per cell (0 divisions count as 1);
    // shared edge vertices mean exactly the surface lattice points exist.
    const uint32_t dx = std::max(k.dx, 1u), dy = std::max(k.dy, 1u), dz = std::max(k.dz, 1u);
    EXPECT_EQ(box.TriangleCount(), 4 * (dx * dy + dy * dz + dz * dx));
    EXPECT_EQ(box.VertexCount(), (dx + 1) * (dy + 1) * (dz + 1) - (dx - 1) * (dy - 1) * (dz - 1));
    // Flat corner normals point out of the face they belong to.
    for (uint32_t t = 0; t < box.TriangleCount(); ++t) {
      const Vector centre =
          box.CornerPosition(t, 0) + box.CornerPosition(t, 1) + box.CornerPosition(t, 2);
      ASSERT_GT(Dot3(box.CornerNormal(t, 0), centre), 0.0f);
    }
  }
}

TEST(BuildCone, ClosedOutwardExactVolumeBaseUp) {
  struct Case {
    uint32_t slices, stacks;
    float base, top, height;
  };
  const Case cases[] = {{16, 8, 1, 0, 2}, {3, 1, 1, 0, 1},        {16, 8, 1, 0.5f, 2},
                        {40, 3, 2, 3, 1}, {7, 5, 0.5f, 1e-7f, 4}, {64, 16, 1.5f, 0.25f, 3}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.slices << "/" << k.stacks << " top " << k.top);
    const Mesh cone = BuildCone(k.slices, k.stacks, k.base, k.top, k.height);
    // A frustum between similar regular n-gons of circumradius r0, r1 and
    // height h has volume h/3 (A0 + A1 + sqrt(A0 A1)); a tiny top is an apex.
    const double top = k.top < 1e-6f ? 0.0 : k.top;
    const double area = 0.5 * k.slices * std::sin(2 * kPi / k.slices);
    const double a0 = area * k.base * k.base, a1 = area * top * top;
    const double volume = k.height / 3.0 * (a0 + a1 + std::sqrt(a0 * a1));
    EXPECT_NEAR(ClosedVolume(cone, "Cone"), volume, 1e-5 * volume);

    // Base circle at y = +height/2, apex (or top circle) at y = -height/2.
    float radiusUp = 0, radiusDown = 0;
    int downVertices = 0;
    for (const Vertex& v : cone.vertices) {
      const float r = std::hypot(v.x, v.z);
      if (std::abs(v.y - 0.5f * k.height) < 1e-6f) radiusUp = std::max(radiusUp, r);
      if (std::abs(v.y + 0.5f * k.height) < 1e-6f)
        radiusDown = std::max(radiusDown, r), ++downVertices;
    }
    EXPECT_NEAR(radiusUp, k.base, 1e-5f);
    EXPECT_NEAR(radiusDown, top, 1e-5f);
    if (top == 0.0) {
      EXPECT_EQ(downVertices, 1);
    }
  }
  // A fine cone approaches pi r^2 h / 3.
  EXPECT_NEAR(SignedVolume(BuildCone(256, 4, 1, 0, 3)), kPi, 1e-3 * kPi);
}

TEST(BuildSphere, ClosedOutwardVolumeNearBall) {
  const float r = 1.5f;
  const double ball = 4.0 / 3.0 * kPi * r * r * r;
  const uint32_t sizes[][2] = {{12, 12}, {3, 2}, {5, 9}, {16, 3}, {64, 64}};
  for (const auto& sk : sizes) {
    SCOPED_TRACE(testing::Message() << sk[0] << "x" << sk[1]);
    const Mesh sphere = BuildSphere(sk[0], sk[1], r);
    // An inscribed polyhedron: between 0 and the ball, within 1% when fine.
    const double v = ClosedVolume(sphere, "Sphere");
    EXPECT_GT(v, sk[0] >= 64 ? 0.99 * ball : 0.0);
    EXPECT_LT(v, ball);
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
    const uint32_t* i = m.triangles[t].indices;
    EXPECT_TRUE(i[0] == a && i[1] == b && i[2] == c) << "triangle " << t;
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
  // Every triangle is listed above, so the last ring (on the bottom pole) is
  // used by none. Smooth shading: each corner normal is its position's direction.
  for (uint32_t tt = 0; tt < m.TriangleCount(); ++tt)
    for (int c = 0; c < 3; ++c) {
      const Vector d = m.CornerNormal(tt, c) - m.CornerPosition(tt, c) / r;
      ASSERT_LT(std::max({std::abs(d.x), std::abs(d.y), std::abs(d.z)}), 1e-5f);
    }
}

}  // namespace
