// The primitive builders over seeded random sizes (the edge cases among
// them): closed, outward-wound surfaces of the right volume, counts and
// shape.

#include "geom/mesh_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "support/mesh_checks.h"

namespace {

const double kPi = 3.14159265358979323846;

// Checks the name, closedness and unit corner normals pointing out of the
// centre; returns the signed volume (positive = outward).
double ClosedVolume(const Mesh& mesh, const char* name) {
  EXPECT_EQ(mesh.name, name);
  EXPECT_EQ(support::SurfaceFault(mesh), "");
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
    const Vector centre = mesh.CornerPosition(t, 0) + mesh.CornerPosition(t, 1) + mesh.CornerPosition(t, 2);
    for (int c = 0; c < 3; ++c)
      EXPECT_TRUE(std::fabs(Length(mesh.CornerNormal(t, c)) - 1.0f) < 1e-5f && Dot3(mesh.CornerNormal(t, c), centre) > 0.0f)
          << mesh.name << " triangle " << t;
  }
  return support::SignedVolume(mesh);
}

TEST(MeshBuilders, BoxesConesAndSpheresOfRandomSizes) {
  std::mt19937 rng(1);
  std::uniform_int_distribution<uint32_t> division(0, 6), slices(3, 64), stacks(1, 16);
  std::uniform_real_distribution<float> size(0.25f, 3.0f);
  for (int n = 0; n < 20; ++n) {
    SCOPED_TRACE(n);
    // Boxes: each face a grid of 2 triangles per cell (0 divisions count as
    // 1); shared edge vertices mean exactly the surface lattice points exist.
    const uint32_t dx = n ? division(rng) : 0, dy = n ? division(rng) : 0, dz = n ? division(rng) : 0;
    const float w = size(rng), h = size(rng), d = size(rng);
    const Mesh box = BuildBox(dx, dy, dz, w, h, d);
    EXPECT_NEAR(ClosedVolume(box, "Box"), double(w) * h * d, 1e-5 * w * h * d);
    const uint32_t x = std::max(dx, 1u), y = std::max(dy, 1u), z = std::max(dz, 1u);
    EXPECT_EQ(box.TriangleCount(), 4 * (x * y + y * z + z * x));
    EXPECT_EQ(box.VertexCount(), (x + 1) * (y + 1) * (z + 1) - (x - 1) * (y - 1) * (z - 1));
    for (const Vertex& v : box.vertices)  // on the surface of the w x h x d box
      EXPECT_NEAR(std::max({std::fabs(2 * v.x / w), std::fabs(2 * v.y / h), std::fabs(2 * v.z / d)}), 1.0f, 1e-5f);

    // Cones and frustums between similar regular n-gons of circumradius r0,
    // r1: volume h/3 (A0 + A1 + sqrt(A0 A1)), a tiny top an apex; the base
    // circle at y = +height/2, the apex (or top circle) at -height/2.
    const uint32_t s = slices(rng);
    const float base = size(rng), top = n % 3 == 0 ? size(rng) : n % 3 == 1 ? 0.0f : 1e-7f;
    const Mesh cone = BuildCone(s, stacks(rng), base, top, h);
    const double r1 = top < 1e-6f ? 0.0 : top, area = 0.5 * s * std::sin(2 * kPi / s);
    const double a0 = area * base * base, a1 = area * r1 * r1, volume = h / 3.0 * (a0 + a1 + std::sqrt(a0 * a1));
    EXPECT_NEAR(ClosedVolume(cone, "Cone"), volume, 1e-5 * volume);
    float radiusUp = 0, radiusDown = 0;
    int downVertices = 0;
    for (const Vertex& v : cone.vertices) {
      if (std::fabs(v.y - 0.5f * h) < 1e-6f) radiusUp = std::max(radiusUp, std::hypot(v.x, v.z));
      if (std::fabs(v.y + 0.5f * h) < 1e-6f) radiusDown = std::max(radiusDown, std::hypot(v.x, v.z)), ++downVertices;
    }
    EXPECT_TRUE(std::fabs(radiusUp - base) < 1e-5f && std::fabs(radiusDown - r1) < 1e-5f && (r1 > 0 || downVertices == 1));

    // Spheres: inscribed (below the ball, within 1% when fine), the poles
    // first, then ring i of j from the top at polar angle i pi / k and
    // azimuth 2 pi j / s; smooth normals along the radius.
    const uint32_t ss = n ? s / 2 + 2 : 64, k = n ? stacks(rng) + 1 : 64;
    const Mesh sphere = BuildSphere(ss, k, w);
    const double ball = 4.0 / 3.0 * kPi * w * w * w, v = ClosedVolume(sphere, "Sphere");
    EXPECT_TRUE(v < ball && v > (n ? 0.0 : 0.99 * ball));
    ASSERT_EQ(sphere.VertexCount(), 2 + k * ss);
    EXPECT_EQ(sphere.TriangleCount(), 2 * ss + 2 * ss * (k - 2));
    EXPECT_TRUE(sphere.vertices[0].Position() == Vector(0, w, 0) && sphere.vertices[1].Position() == Vector(0, -w, 0));
    for (uint32_t i = 1; i <= k; ++i)
      for (uint32_t j = 0; j < ss; ++j) {
        const double phi = i * kPi / k, theta = j * 2 * kPi / ss;
        const Vector p = sphere.vertices[2 + (i - 1) * ss + j].Position();
        EXPECT_NEAR(Length(p - Vector(float(w * std::sin(phi) * std::cos(theta)), float(w * std::cos(phi)),
                                      float(w * std::sin(phi) * std::sin(theta)))), 0.0f, 1e-5f);
      }
    for (uint32_t t = 0; t < sphere.TriangleCount(); ++t)
      for (int c = 0; c < 3; ++c) ASSERT_LT(Length(sphere.CornerNormal(t, c) - sphere.CornerPosition(t, c) / w), 1e-5f);
  }
}

}  // namespace
