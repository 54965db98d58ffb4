// The primitive builders over seeded random sizes (and the edge cases as
// fixed seeds): closed, outward-wound surfaces of the right volume, counts
// and shape.

#include "geom/mesh_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "support/mesh_checks.h"

namespace {

using support::SignedVolume;
using support::SurfaceFault;

const double kPi = 3.14159265358979323846;

// Checks the name, closedness and unit corner normals pointing out of the
// centre; returns the signed volume (positive = outward).
double ClosedVolume(const Mesh& mesh, const char* name) {
  EXPECT_EQ(mesh.name, name);
  EXPECT_EQ(SurfaceFault(mesh), "");
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
    const Vector centre = mesh.CornerPosition(t, 0) + mesh.CornerPosition(t, 1) + mesh.CornerPosition(t, 2);
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(Length(mesh.CornerNormal(t, c)), 1.0f, 1e-5f);
      EXPECT_GT(Dot3(mesh.CornerNormal(t, c), centre), 0.0f) << mesh.name << " triangle " << t;
    }
  }
  return SignedVolume(mesh);
}

TEST(MeshBuilders, BoxesOfRandomDivisionsAndSizes) {
  std::mt19937 rng(1);
  std::uniform_int_distribution<uint32_t> division(0, 6);
  std::uniform_real_distribution<float> size(0.2f, 10.0f);
  for (int n = 0; n < 20; ++n) {
    uint32_t d[3] = {division(rng), division(rng), division(rng)};
    float w = size(rng), h = size(rng), depth = size(rng);
    if (n == 0) d[0] = d[1] = d[2] = 0;  // 0 divisions count as 1
    SCOPED_TRACE(testing::Message() << d[0] << "x" << d[1] << "x" << d[2]);
    const Mesh box = BuildBox(d[0], d[1], d[2], w, h, depth);
    const double volume = double(w) * h * depth;
    EXPECT_NEAR(ClosedVolume(box, "Box"), volume, 1e-5 * volume);
    // Each face is a grid of 2 triangles per cell; shared edge vertices mean
    // exactly the surface lattice points exist.
    const uint32_t x = std::max(d[0], 1u), y = std::max(d[1], 1u), z = std::max(d[2], 1u);
    EXPECT_EQ(box.TriangleCount(), 4 * (x * y + y * z + z * x));
    EXPECT_EQ(box.VertexCount(), (x + 1) * (y + 1) * (z + 1) - (x - 1) * (y - 1) * (z - 1));
    for (const Vertex& v : box.vertices)  // on the surface of the w x h x depth box
      EXPECT_NEAR(std::max({std::abs(2 * v.x / w), std::abs(2 * v.y / h), std::abs(2 * v.z / depth)}), 1.0f, 1e-5f);
  }
}

TEST(MeshBuilders, ConesAndFrustumsStandOnTheirBaseUp) {
  std::mt19937 rng(2);
  std::uniform_int_distribution<uint32_t> slices(3, 64), stacks(1, 16);
  std::uniform_real_distribution<float> size(0.25f, 3.0f);
  for (int n = 0; n < 20; ++n) {
    const uint32_t s = slices(rng);
    const float base = size(rng), height = size(rng);
    const float top = n % 3 == 0 ? size(rng) : n % 3 == 1 ? 0.0f : 1e-7f;  // frustum, apex, tiny top
    SCOPED_TRACE(testing::Message() << s << " slices, top " << top);
    const Mesh cone = BuildCone(s, stacks(rng), base, top, height);
    // A frustum between similar regular n-gons of circumradius r0, r1 and
    // height h has volume h/3 (A0 + A1 + sqrt(A0 A1)); a tiny top is an apex.
    const double r1 = top < 1e-6f ? 0.0 : top, area = 0.5 * s * std::sin(2 * kPi / s);
    const double a0 = area * base * base, a1 = area * r1 * r1;
    const double volume = height / 3.0 * (a0 + a1 + std::sqrt(a0 * a1));
    EXPECT_NEAR(ClosedVolume(cone, "Cone"), volume, 1e-5 * volume);
    // Base circle at y = +height/2, apex (or top circle) at y = -height/2.
    float radiusUp = 0, radiusDown = 0;
    int downVertices = 0;
    for (const Vertex& v : cone.vertices) {
      const float r = std::hypot(v.x, v.z);
      if (std::abs(v.y - 0.5f * height) < 1e-6f) radiusUp = std::max(radiusUp, r);
      if (std::abs(v.y + 0.5f * height) < 1e-6f) radiusDown = std::max(radiusDown, r), ++downVertices;
    }
    EXPECT_NEAR(radiusUp, base, 1e-5f);
    EXPECT_NEAR(radiusDown, r1, 1e-5f);
    if (r1 == 0.0) {
      EXPECT_EQ(downVertices, 1);
    }
  }
}

TEST(MeshBuilders, SpheresAreInscribedWithPolesFirstAndSmoothNormals) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<uint32_t> slices(3, 30), stacks(2, 30);
  for (int n = 0; n < 20; ++n) {
    const uint32_t s = n == 0 ? 64 : slices(rng), k = n == 0 ? 64 : stacks(rng);
    const float r = 0.5f + 0.1f * n;
    SCOPED_TRACE(testing::Message() << s << "x" << k);
    const Mesh m = BuildSphere(s, k, r);
    const double ball = 4.0 / 3.0 * kPi * r * r * r;
    const double v = ClosedVolume(m, "Sphere");  // inscribed: below the ball, within 1% when fine
    EXPECT_GT(v, n == 0 ? 0.99 * ball : 0.0);
    EXPECT_LT(v, ball);
    ASSERT_EQ(m.VertexCount(), 2 + k * s);
    EXPECT_EQ(m.TriangleCount(), 2 * s + 2 * s * (k - 2));
    EXPECT_EQ(m.vertices[0].Position(), Vector(0, r, 0));
    EXPECT_EQ(m.vertices[1].Position(), Vector(0, -r, 0));
    // Ring i of j from the top: polar angle i pi / k, azimuth 2 pi j / s.
    for (uint32_t i = 1; i <= k; ++i)
      for (uint32_t j = 0; j < s; ++j) {
        const double phi = i * kPi / k, theta = j * 2 * kPi / s;
        const Vertex& p = m.vertices[2 + (i - 1) * s + j];
        EXPECT_NEAR(p.x, r * std::sin(phi) * std::cos(theta), 1e-5);
        EXPECT_NEAR(p.y, r * std::cos(phi), 1e-5);
        EXPECT_NEAR(p.z, r * std::sin(phi) * std::sin(theta), 1e-5);
      }
    for (uint32_t t = 0; t < m.TriangleCount(); ++t)
      for (int c = 0; c < 3; ++c) {
        const Vector d = m.CornerNormal(t, c) - m.CornerPosition(t, c) / r;
        ASSERT_LT(std::max({std::abs(d.x), std::abs(d.y), std::abs(d.z)}), 1e-5f);
      }
  }
}

}  // namespace
