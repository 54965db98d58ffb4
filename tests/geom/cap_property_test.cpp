// Caps of every kind of outline, over the sample solids of assets/models
// (a torus, an L bracket, a star prism, a mug with a handle): concave
// outlines, several outlines, outlines with holes; and nested squares, an
// island with a hole inside a hole. Expected figures come
// from the solids' construction (polygon areas, Euler characteristics),
// never from the cap code.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geom/cap_triangulation.h"
#include "geom/close_cut.h"
#include "geom/connected_parts.h"
#include "geom/mesh_builders.h"
#include "geom/mesh_splitter.h"
#include "support/mesh_checks.h"

namespace {

using support::SignedVolume;
using support::SurfaceFault;

Mesh ReadObj(const std::string& name) {
  Mesh mesh;
  std::ifstream in(std::string(CLEAVE_SOURCE_DIR) + "/assets/models/" + name + ".obj");
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string kind;
    float a, b, c;
    words >> kind >> a >> b >> c;
    if (kind == "v") mesh.AddVertex(Vertex(a, b, c));
    if (kind == "f") mesh.AddTriangle(uint32_t(a) - 1, uint32_t(b) - 1, uint32_t(c) - 1);
  }
  EXPECT_GT(mesh.TriangleCount(), 100u) << name;
  return mesh;
}

struct Cut {
  std::vector<Mesh> parts[2];  // front, back
  double capArea[2] = {0, 0};  // signed, projected on the plane normal, outward
  double foldedArea = 0.0;     // cap triangles turned against their cap, both halves
};

// Splits and closes; each half's cap (the triangles CloseCut added) is
// measured in projection on the plane: its triangles must all face out.
Cut CutAndClose(const Mesh& mesh, const Plane& plane) {
  Mesh halves[2];
  SplitContext context;
  SplitMesh(mesh, plane, halves[0], halves[1], context);
  Cut cut;
  for (int h = 0; h < 2; ++h) {
    const uint32_t split = halves[h].TriangleCount();
    CloseCut(halves[h], h == 0 ? context.frontCutSet : context.backCutSet);
    const double out = h == 0 ? -1.0 : 1.0;  // the front's cap faces against the normal
    for (uint32_t t = split; t < halves[h].TriangleCount(); ++t) {
      const Vector a = halves[h].CornerPosition(t, 0), b = halves[h].CornerPosition(t, 1),
                   c = halves[h].CornerPosition(t, 2);
      const double area = 0.5 * out * Dot3(plane.normal, Cross(b - a, c - a));
      cut.capArea[h] += area;
      cut.foldedArea += std::max(0.0, -area);
    }
    cut.parts[h] = SplitIntoConnectedParts(halves[h]);
  }
  return cut;
}

// V - E + F of a closed part (E = 3F / 2): 2 for a ball, 0 for a ring.
int Euler(const Mesh& part) { return int(part.VertexCount()) - int(part.TriangleCount()) / 2; }

// Random planes through the four solids: every part of every half is a
// closed, consistently wound solid of positive volume, the parts' volumes
// add up to the solid's, and no cap triangle folds over.
TEST(CapProperty, PartsOfSampleSolidsAreSolidsAndVolumesAddUp) {
  std::mt19937 rng(7);
  std::normal_distribution<float> g(0.0f, 1.0f);
  for (const char* name : {"torus", "bracket", "star", "mug"}) {
    const Mesh mesh = ReadObj(name);
    const double volume = SignedVolume(mesh);
    for (int k = 0; k < 150; ++k) {
      const Vector through = mesh.vertices[rng() % mesh.VertexCount()].Position();
      const Plane plane(Normalize(Vector(g(rng), g(rng), g(rng))),
                        through + Vector(g(rng), g(rng), g(rng)) * 0.05f);
      const Cut cut = CutAndClose(mesh, plane);
      double sum = 0.0;
      for (const auto& half : cut.parts)
        for (const Mesh& part : half) {
          ASSERT_EQ(SurfaceFault(part), "") << name << " plane " << k;
          ASSERT_GT(SignedVolume(part), 0.0) << name << " plane " << k;
          sum += SignedVolume(part);
        }
      // Positions are below 2 in size; the caps mirror each other, so only
      // float rounding of the cut vertices is left.
      EXPECT_NEAR(sum, volume, 1e-5) << name << " plane " << k;
      // Vertices within the side test's band (0.01) of the plane leave a cap
      // slightly bent, where a sliver may turn over by a few 1e-6; a fan
      // across a concave outline or over a hole folds 1e-3 to 1.
      EXPECT_LE(cut.foldedArea, 1e-4) << name << " plane " << k;
    }
  }
}

// Cuts whose outcome the construction fixes. The torus (major radius 1,
// tube 0.35, 48 x 24 quads, axis y) has rings of vertices exactly in the
// planes y = 0 and x = 0.
TEST(CapProperty, TorusAndMugCutsGiveTheExpectedPartsCapsAndGenus) {
  const Mesh torus = ReadObj("torus");
  auto polygon = [](int n, double r) { return 0.5 * n * std::sin(2.0 * M_PI / n) * r * r; };
  // Equatorial: two rings, each capped by an annulus (a cap with a hole).
  Cut cut = CutAndClose(torus, Plane(Vector(0, 1, 0), Vector(0, 0, 0)));
  for (int h = 0; h < 2; ++h) {
    ASSERT_EQ(cut.parts[h].size(), 1u);
    EXPECT_EQ(Euler(cut.parts[h][0]), 0);
    EXPECT_NEAR(cut.capArea[h], polygon(48, 1.35) - polygon(48, 0.65), 1e-4);
  }
  EXPECT_LE(cut.foldedArea, 1e-9);
  // Through the axis: two C-shaped halves, each capped by two discs.
  cut = CutAndClose(torus, Plane(Vector(1, 0, 0), Vector(0, 0, 0)));
  for (int h = 0; h < 2; ++h) {
    ASSERT_EQ(cut.parts[h].size(), 1u);
    EXPECT_EQ(Euler(cut.parts[h][0]), 2);
    EXPECT_NEAR(cut.capArea[h], 2.0 * polygon(24, 0.35), 1e-4);
  }
  // The mug (genus 1, cup radius 0.5) cut through both arms of its handle,
  // which reaches x = 0.75: the handle's arc comes off as a ball of its own.
  const Mesh mug = ReadObj("mug");
  EXPECT_EQ(SplitIntoConnectedParts(mug).size(), 1u);
  EXPECT_EQ(Euler(mug), 0);
  cut = CutAndClose(mug, Plane(Vector(1, 0, 0), Vector(0.6f, 0, 0)));
  for (int h = 0; h < 2; ++h) {
    ASSERT_EQ(cut.parts[h].size(), 1u);
    EXPECT_EQ(Euler(cut.parts[h][0]), 2);
  }
  EXPECT_LT(SignedVolume(cut.parts[0][0]), 0.05 * SignedVolume(mug));
}

// A sphere finer than the side test's band (edges about 0.009 against a band
// 0.02 wide) cut through its centre close to its equator: whole triangles
// lie within the band, and the openings pinch where such a triangle touches
// an outline, into small loops of which every vertex is a pinch or joined by
// the mesh to another. Both halves must still be closed solids: a cap chord
// along an edge the mesh has, or the same chord made twice (by fans of two
// loops through one pinch vertex, or at two corners of one vertex in the
// triangulation), doubles that edge.
TEST(CapProperty, HalvesOfASphereFinerThanTheBandAreClosed) {
  auto check = [](const Mesh& sphere, const Vector& normal, const std::string& what) {
    Mesh halves[2];
    SplitContext context;
    SplitMesh(sphere, Plane(Normalize(normal), Vector(0, 0, 0)), halves[0], halves[1], context);
    CloseCut(halves[0], context.frontCutSet);
    CloseCut(halves[1], context.backCutSet);
    for (const Mesh& half : halves) {
      if (!SurfaceFault(half).empty() || !(SignedVolume(half) > 0.0))
        return what + ": " + SurfaceFault(half) + ", volume " + std::to_string(SignedVolume(half));
    }
    return std::string();
  };
  // Planes with tilts up to 0.21 (a cut 0.02 high at the sphere's rim), and
  // three that once left a doubled edge where two loops through a pinch
  // vertex held its two ends once as neighbours and once apart.
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (const auto& [slices, radius] : {std::make_pair(40u, 0.11f), std::make_pair(61u, 0.17f)}) {
    const Mesh sphere = BuildSphere(slices, slices, radius);
    for (int k = 0; k < 200; ++k) {
      const float tilt = 0.01f + 0.1f * (1.0f + u(rng)), turn = float(M_PI) * u(rng);
      const Vector normal(tilt * std::cos(turn), 1.0f, tilt * std::sin(turn));
      const std::string what = std::to_string(slices) + " slices, plane " + std::to_string(k);
      ASSERT_EQ(check(sphere, normal, what), "");
    }
  }
  const Mesh sphere = BuildSphere(60, 60, 0.17f);
  for (const Vector& normal : {Vector(-0.0794291273f, 0.995147645f, -0.0580710843f),
                               Vector(-0.00586551474f, 0.998917103f, 0.0461549126f)})
    EXPECT_EQ(check(sphere, normal, "60 slices"), "");
  EXPECT_EQ(check(BuildSphere(61, 61, 0.17f), Vector(0.0209041797f, 0.999771535f, -0.00446011778f),
                  "61 slices"), "");
}

// Four nested squares about the origin in z = 0, half sides 5, 4, 3 and 2:
// an outline, a hole in it, an island in the hole and a hole in the island.
// Every point of the region lies in exactly one cap triangle and no point of
// a hole in any, so each hole went to the outline right around it.
TEST(TriangulateCap, AHoleInAnIslandInAHoleBelongsToTheIsland) {
  Mesh mesh;
  CapOutline outline;
  for (const float r : {5.0f, -4.0f, 3.0f, -2.0f}) {  // half sides; a hole (r < 0) is mirrored to wind clockwise
    for (int k = 0; k < 4; ++k)
      outline.entries.push_back(mesh.AddVertex(Vertex(k == 1 || k == 2 ? r : -r, k < 2 ? -std::fabs(r) : std::fabs(r), 0)));
    outline.starts.push_back(outline.entries.size());
  }
  ASSERT_TRUE(TriangulateCap(outline, mesh));
  for (double x = -5.9; x < 6.0; x += 0.37)
    for (double y = -5.8; y < 6.0; y += 0.41) {
      int covering = 0;  // triangles holding (x, y) strictly inside
      for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
        bool inside = true;
        for (int c = 0; c < 3; ++c) {
          const Vector p = mesh.CornerPosition(t, c), q = mesh.CornerPosition(t, (c + 1) % 3);
          inside = inside && (double(q.x) - p.x) * (y - p.y) - (double(q.y) - p.y) * (x - p.x) > 0.0;
        }
        covering += inside;
      }
      const double r = std::max(std::fabs(x), std::fabs(y));
      EXPECT_EQ(covering, (r > 4.0 && r < 5.0) || (r > 2.0 && r < 3.0)) << x << ", " << y;
    }
}

// Fans from the centre o of a loop o, p1 .. pn lying in z = 0 (normal +z),
// the spokes o -> pk at angles stepping by `step` degrees: the fan turns
// through (n - 1) step degrees, a proper cap below a full turn, not from a
// full turn on. A wide reflex fan of small steps and a spiral of 62 degree
// steps sit on either side of 360 degrees. (A fan that steps back, across a
// concave outline, folds the cap: the sweep over the sample solids sees it.)
TEST(FansAreValid, AFanIsACapUpToAFullTurnAboutItsCentre) {
  auto fan = [](int spokes, double step) {
    Mesh mesh;
    mesh.AddVertex(Vertex(0, 0, 0));
    CapOutline outline;
    outline.entries.push_back(0);
    for (int k = 0; k < spokes; ++k) {
      const double angle = k * step * M_PI / 180.0, radius = 1.0 + 0.1 * k;  // a spiral
      outline.entries.push_back(mesh.AddVertex(
          Vertex(float(radius * std::cos(angle)), float(radius * std::sin(angle)), 0.0f)));
    }
    outline.starts.push_back(outline.entries.size());
    return FansAreValid(outline, mesh);
  };
  EXPECT_TRUE(fan(9, 10.0));    // 80 degrees
  EXPECT_TRUE(fan(31, 10.0));   // 300 degrees
  EXPECT_TRUE(fan(6, 62.0));    // 310 degrees
  EXPECT_FALSE(fan(7, 62.0));   // 372 degrees
  EXPECT_FALSE(fan(55, 10.0));  // 540 degrees
}

}  // namespace
