// Mass properties of closed meshes against values found without the code
// under test: closed forms for the box, the cone (a pyramid on a regular
// polygon), the tetrahedron fan of
// support::PolyhedronMoments for every mesh, and point sampling for an
// oblique cut piece.

#include "geom/mass_properties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>

#include "geom/close_cut.h"
#include "geom/mesh_builders.h"
#include "geom/mesh_splitter.h"
#include "support/mesh_checks.h"

namespace {

const double kPi = 3.14159265358979323846;

double Trace(const double (&i)[3][3]) { return i[0][0] + i[1][1] + i[2][2]; }

// Volume within `tol` relative, the centre within `tol` of the solid's size,
// every tensor entry within `tol` of the tensor's trace.
void ExpectNear(const MassProperties& p, const support::Moments& ref, double density, double tol) {
  EXPECT_NEAR(p.volume, ref.volume, tol * std::fabs(ref.volume));
  EXPECT_NEAR(p.mass, density * ref.volume, tol * std::fabs(density * ref.volume));
  const double size = std::cbrt(std::fabs(ref.volume)), scale = density * Trace(ref.inertia);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(p.centre[i], ref.centre[i], tol * size) << i;
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(p.inertia[i][j], density * ref.inertia[i][j], tol * scale) << i << j;
  }
}

// A moved, turned 1 x 2 x 3 box: volume 6, centre where it was moved to,
// tensor R diag(m/12 (h^2 + d^2), ...) R^T. A pyramid on a regular n-gon
// of circumradius r (area A, polar moment J = n r^4 sin a (2 + cos a) / 12,
// a = 2 pi / n) and height h: volume A h / 3, centre h / 4 above the base,
// axial moment J h / 5, transverse moment J h / 10 + A h^3 / 80.
TEST(MassProperties, BoxAndConeMatchTheirClosedForms) {
  Mesh box = BuildBox(2, 3, 4, 1.0f, 2.0f, 3.0f);
  const Matrix4 turn = Matrix4::Rotation(0.4f, 0.2f, -0.3f);
  box.Transform(Matrix4::Translation(Vector(0.5f, -1.0f, 2.0f)) * turn);
  const MassProperties b = ComputeMassProperties(box, 2.5);
  const double m = 15.0, d[3] = {m / 12 * (4 + 9), m / 12 * (1 + 9), m / 12 * (1 + 4)};
  EXPECT_NEAR(b.volume, 6.0, 1e-5);
  EXPECT_NEAR(b.mass, m, 1e-5 * m);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(b.centre[i], Vector(0.5f, -1.0f, 2.0f)[i], 1e-6);
    for (int j = 0; j < 3; ++j) {
      double expected = 0.0;
      for (int k = 0; k < 3; ++k) expected += double(turn(i, k)) * d[k] * turn(j, k);
      EXPECT_NEAR(b.inertia[i][j], expected, 1e-5 * m) << i << j;
    }
  }
  ExpectNear(b, support::PolyhedronMoments(box), 2.5, 1e-9);

  const double r = 1.2, h = 2.0, n = 64, a = 2 * kPi / n;
  const Mesh cone = BuildCone(64, 3, float(r), 0.0f, float(h));  // base at y = +h/2
  const MassProperties c = ComputeMassProperties(cone, 1.0);
  const double area = n / 2 * r * r * std::sin(a), polar = n * std::pow(r, 4) * std::sin(a) * (2 + std::cos(a)) / 12;
  const double side = polar * h / 10 + area * h * h * h / 80;
  EXPECT_NEAR(c.volume, area * h / 3, 1e-6);
  const double expected[3][3] = {{side, 0, 0}, {0, polar * h / 5, 0}, {0, 0, side}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(c.centre[i], i == 1 ? h / 4 : 0.0, 1e-6);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(c.inertia[i][j], expected[i][j], 1e-6 * side) << i << j;
  }
  ExpectNear(c, support::PolyhedronMoments(cone), 1.0, 1e-9);
}

// Sphere: exactly the facets' solid (the tetrahedron fan); close to the
// round sphere (4/3 pi r^3, 2/5 m r^2). Its upper half, cut and capped
// as the split does it: centre 3r/8 above the face, as for the round one.
TEST(MassProperties, SphereAndHemisphereAreThoseOfTheirFacets) {
  const int slices = 48, stacks = 24;
  const double r = 1.5;
  Mesh sphere = BuildSphere(slices, stacks, float(r));
  const MassProperties s = ComputeMassProperties(sphere, 3.0);
  ExpectNear(s, support::PolyhedronMoments(sphere), 3.0, 1e-9);
  EXPECT_NEAR(s.volume, 4.0 / 3.0 * kPi * r * r * r, 0.01 * s.volume);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(s.centre[i], 0.0, 1e-6);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(s.inertia[i][j], i == j ? 0.4 * s.mass * r * r : 0.0, 0.01 * s.inertia[0][0]);
  }

  Mesh upper, lower;
  SplitContext context;
  SplitMesh(sphere, Plane(Vector(0, 1, 0), Vector()), upper, lower, context);
  CloseCut(upper, context.frontCutSet);
  ASSERT_EQ(support::SurfaceFault(upper), "");
  const MassProperties u = ComputeMassProperties(upper, 1.0);
  ExpectNear(u, support::PolyhedronMoments(upper), 1.0, 1e-9);
  EXPECT_NEAR(u.volume, s.volume / 2.0, 1e-6 * s.volume);
  EXPECT_NEAR(u.centre[1], 3.0 / 8.0 * r, 0.01 * r);
}

// A sheared, turned box cut by an oblique plane, so its products of inertia
// are large: against a jittered grid of 64^3 points, each counted when the
// surface winds once around it (the solid angles of the triangles add up to
// 4 pi). A cell the surface passes through counts whole or not at all,
// which puts the sums off by about 1 part in 1000 (a few thousand of the
// 262144 cells are such); 0.005 is five times that.
TEST(MassProperties, AnObliqueCutPieceMatchesPointSampling) {
  Mesh box = BuildBox(2, 2, 2, 2.0f, 1.0f, 3.0f);
  Matrix4 shear;
  shear(0, 1) = 0.8f;
  shear(1, 2) = 0.7f;
  shear(2, 0) = 0.6f;
  box.Transform(Matrix4::Translation(Vector(0.3f, 0.2f, -0.1f)) * Matrix4::Rotation(0.5f, 0.6f, 0.3f) * shear);
  Mesh front, back;
  SplitContext context;
  SplitMesh(box, Plane(Normalize(Vector(1.0f, 0.6f, -0.4f)), Vector(0.6f, 0.3f, 0.0f)), front, back, context);
  CloseCut(back, context.backCutSet);
  ASSERT_EQ(support::SurfaceFault(back), "");
  const MassProperties p = ComputeMassProperties(back, 1.0);
  const support::Moments exact = support::PolyhedronMoments(back);
  ExpectNear(p, exact, 1.0, 1e-9);

  Vector low = back.vertices[0].Position(), high = low;
  for (const Vertex& v : back.vertices)
    for (int k = 0; k < 3; ++k) low[k] = std::min(low[k], v.Position()[k]), high[k] = std::max(high[k], v.Position()[k]);
  const Vector cell = (high - low) * (1.0f / 64);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> jitter(0.0f, 1.0f);
  double volume = 0.0, first[3] = {0, 0, 0}, second[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  for (int i = 0; i < 64 * 64 * 64; ++i) {
    const int g[3] = {i % 64, i / 64 % 64, i / 4096};
    Vector x = low;
    for (int k = 0; k < 3; ++k) x[k] += (g[k] + jitter(rng)) * cell[k];
    double angle = 0.0;
    for (const Triangle& t : back.triangles) {
      const Vector a = back.vertices[t.indices[0]].Position() - x, b = back.vertices[t.indices[1]].Position() - x,
                   c = back.vertices[t.indices[2]].Position() - x;
      const float la = Length(a), lb = Length(b), lc = Length(c);
      angle += 2 * std::atan2(Dot3(a, Cross(b, c)), la * lb * lc + Dot3(a, b) * lc + Dot3(a, c) * lb + Dot3(b, c) * la);
    }
    if (angle < 2 * kPi) continue;
    const double each = double(cell.x) * cell.y * cell.z;
    volume += each;
    for (int k = 0; k < 3; ++k) {
      first[k] += each * (x[k] - low[k]);
      for (int l = 0; l < 3; ++l) second[k][l] += each * (x[k] - low[k]) * (x[l] - low[l]);
    }
  }
  const support::Moments sampled = support::MomentsOf(low, volume, first, second);
  // The products of inertia are large: no axis is close to a principal one.
  for (int k = 0; k < 3; ++k) ASSERT_GT(std::fabs(sampled.inertia[k][(k + 1) % 3]), 0.04 * Trace(sampled.inertia));
  ExpectNear(p, sampled, 1.0, 0.005);
}

// A mesh 2^17 units from the origin (its coordinates are multiples of 1/16,
// so moving it there rounds nothing) has the same properties as at the
// origin, moved. A surface wound inwards has negative volume, its box
// centre for a centre and no inertia; an empty mesh has nothing.
// EnclosedVolume, a pass of its own, gives each volume to the last bit.
TEST(MassProperties, FarFromTheOriginInsideOutAndEmpty) {
  Mesh near = BuildBox(2, 2, 2, 1.0f, 2.0f, 3.0f);
  near.vertices[0].x -= 0.75f;
  Matrix4 shear;
  shear(0, 1) = 0.5f;
  shear(2, 0) = 0.25f;
  near.Transform(shear);
  Mesh far = near;
  const double offset[3] = {131072.0, -65536.0, 98304.0};
  far.Transform(Matrix4::Translation(Vector(float(offset[0]), float(offset[1]), float(offset[2]))));
  const MassProperties a = ComputeMassProperties(near, 1.0), b = ComputeMassProperties(far, 1.0);
  EXPECT_NEAR(b.volume, a.volume, 1e-12 * a.volume);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(b.centre[i] - offset[i], a.centre[i], 1e-10);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(b.inertia[i][j], a.inertia[i][j], 1e-12 * Trace(a.inertia));
  }
  ExpectNear(a, support::PolyhedronMoments(near), 1.0, 1e-9);

  Mesh inside = BuildBox(1, 1, 1, 2.0f, 4.0f, 6.0f);
  inside.Transform(Matrix4::Translation(Vector(1.0f, 2.0f, 3.0f)));
  for (Triangle& t : inside.triangles) std::swap(t.indices[1], t.indices[2]);
  const MassProperties i = ComputeMassProperties(inside, 2.0);
  EXPECT_TRUE(std::fabs(i.volume + 48.0) < 1e-5 && std::fabs(i.mass + 96.0) < 1e-5);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(i.centre[k], k + 1.0, 1e-6);
    for (int l = 0; l < 3; ++l) EXPECT_EQ(i.inertia[k][l], 0.0);
  }
  const MassProperties e = ComputeMassProperties(Mesh(), 1.0);
  EXPECT_TRUE(e.volume == 0.0 && e.mass == 0.0 && e.centre[0] == 0.0 && e.inertia[0][0] == 0.0);
  for (const Mesh* m : {&near, &far, &inside})
    EXPECT_EQ(EnclosedVolume(*m), ComputeMassProperties(*m).volume);
  EXPECT_EQ(EnclosedVolume(Mesh()), 0.0);
}

}  // namespace
