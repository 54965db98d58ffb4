// The splitter and the closing of the cut, as properties over many seeded
// random cuts of transformed primitives (and of the pieces of earlier cuts),
// the edge cases of the side table and the triangle step, and the
// degeneracy report.

#include "geom/mesh_splitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "geom/close_cut.h"
#include "geom/mesh_builders.h"
#include "support/log_capture.h"
#include "support/mesh_checks.h"

namespace {

using support::LogCapture;
using support::SignedVolume;
using support::SurfaceFault;

// Signed distance in double, independent of the code under test.
double Distance(const Plane& plane, const Vertex& v) {
  return plane.normal.x * (double(v.x) - plane.point.x) + plane.normal.y * (double(v.y) - plane.point.y) +
         plane.normal.z * (double(v.z) - plane.point.z);
}

double MinAbsDistance(const Mesh& mesh, const Plane& plane) {
  double m = 1e30;
  for (const Vertex& v : mesh.vertices) m = std::min(m, std::abs(Distance(plane, v)));
  return m;
}

// A box with its top face's centre vertex pushed down into the solid: a
// closed, non-convex mesh whose horizontal cuts near the top have two loops.
Mesh DentedBox(float w, float h, float d, float depthFraction) {
  Mesh box = BuildBox(2, 2, 2, w, h, d);
  for (Vertex& v : box.vertices)
    if (v.x == 0.0f && v.z == 0.0f && v.y == 0.5f * h) v.y -= depthFraction * h;
  return box;
}

Mesh RandomSolid(std::mt19937& rng) {
  std::uniform_real_distribution<float> size(0.5f, 3.0f), angle(-3.14159f, 3.14159f), offset(-5, 5);
  auto pick = [&rng](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
  const uint32_t kind = pick(0, 3);
  Mesh mesh = kind == 0   ? BuildBox(pick(1, 4), pick(1, 4), pick(1, 4), size(rng), size(rng), size(rng))
              : kind == 1 ? BuildCone(pick(3, 24), pick(1, 6), size(rng), pick(0, 9) < 6 ? 0.0f : 0.5f * size(rng), size(rng))
              : kind == 2 ? BuildSphere(pick(3, 30), pick(2, 20), size(rng))
                          : DentedBox(size(rng), size(rng), size(rng), 0.2f + 0.6f * pick(0, 100) / 100.0f);
  mesh.Transform(Matrix4::Translation(Vector(offset(rng), offset(rng), offset(rng))) *
                 Matrix4::Rotation(angle(rng), angle(rng), angle(rng)));
  return mesh;
}

// A plane of random normal through one of the mesh's vertices, or through a
// random point of the middle 80% of its bounding box (which keeps slivers of
// near-zero volume, where only absolute rounding is meaningful, rare).
Plane RandomPlane(const Mesh& mesh, std::mt19937& rng, bool throughVertex) {
  std::normal_distribution<float> g(0.0f, 1.0f);
  const Vector n = Normalize(Vector(g(rng), g(rng), g(rng), 0.0f));
  if (throughVertex) return Plane(n, mesh.vertices[std::uniform_int_distribution<size_t>(0, mesh.vertices.size() - 1)(rng)].Position());
  Vector lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f), p;
  for (const Vertex& v : mesh.vertices)
    for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], v.Position()[a]), hi[a] = std::max(hi[a], v.Position()[a]);
  std::uniform_real_distribution<float> u(0.1f, 0.9f);
  for (int a = 0; a < 3; ++a) p[a] = lo[a] + u(rng) * (hi[a] - lo[a]);
  return Plane(n, p);
}

struct Cut {
  Mesh front, back;
  SplitContext context;
  double capArea = 0;  // the larger of the two caps
  // Per half: cap triangles, and the loop counts CloseCut logged.
  int capTriangles[2] = {0, 0}, loops[2] = {-1, -1}, closed[2] = {-1, -1};
};

void SplitAndClose(const Mesh& source, const Plane& plane, Cut& cut) {
  SplitMesh(source, plane, cut.front, cut.back, cut.context);
  for (int h = 0; h < 2; ++h) {
    Mesh& half = h == 0 ? cut.front : cut.back;
    const uint32_t before = half.TriangleCount();
    LogCapture log;
    CloseCut(half, h == 0 ? cut.context.frontCutSet : cut.context.backCutSet);
    std::sscanf(log.NewLog().c_str(), "boundaryList.size() = %d\nnumClosed = %d", &cut.loops[h], &cut.closed[h]);
    cut.capTriangles[h] = int(half.TriangleCount() - before);
    double area = 0;
    for (uint32_t t = before; t < half.TriangleCount(); ++t) area += half.TriangleArea(t);
    cut.capArea = std::max(cut.capArea, area);
  }
}

// Both halves closed, not degenerate, on their side of the plane; every
// loop found closed (and some found exactly when a cap was needed); the
// volumes add up.
::testing::AssertionResult CheckCut(const Mesh& source, const Plane& plane, const Cut& cut) {
  for (const Mesh* half : {&cut.front, &cut.back}) {
    const char* which = half == &cut.front ? "front" : "back";
    const int h = half == &cut.front ? 0 : 1;
    const std::string fault = SurfaceFault(*half);
    if (!fault.empty()) return ::testing::AssertionFailure() << which << " not closed: " << fault;
    if (cut.loops[h] != cut.closed[h] || (cut.loops[h] > 0) != (cut.capTriangles[h] > 0))
      return ::testing::AssertionFailure() << which << " logged " << cut.loops[h] << " loops, " << cut.closed[h]
                                           << " closed, for " << cut.capTriangles[h] << " cap triangles";
    if (IsDegenerate(*half)) return ::testing::AssertionFailure() << which << " reported degenerate";
    for (const Vertex& v : half->vertices)
      if ((half == &cut.front ? -1 : 1) * Distance(plane, v) > 0.01 + 1e-5)
        return ::testing::AssertionFailure() << which << " vertex at " << Distance(plane, v);
  }
  // The halves partition every source triangle (up to the rounding of the
  // cut vertices); what can differ is only the two caps. Both caps are fans
  // over loops of cut vertices (|d| ~ 0) and on-plane vertices (|d| <= 0.01),
  // so they lie in the slab |d| <= 0.01 and the volume between them is at
  // most the slab's thickness times the cap area. With no vertex within 0.02
  // of the plane both caps are the same planar polygon and only rounding is
  // left.
  const double whole = SignedVolume(source), front = SignedVolume(cut.front), back = SignedVolume(cut.back);
  const double bound = 1e-4 * std::abs(whole) + (MinAbsDistance(source, plane) > 0.02 ? 0.0 : 0.02 * cut.capArea);
  if (std::abs(front + back - whole) > bound || front < -bound || back < -bound)
    return ::testing::AssertionFailure() << "volumes " << front << " + " << back << " vs " << whole << " (bound " << bound << ")";
  return ::testing::AssertionSuccess();
}

// Random cuts of random solids, and of the pieces of earlier cuts up to five
// generations deep (split, close, keep both halves, cut each again).
TEST(SplitProperties, HalvesClosedOnTheirSideAndVolumesAddUp) {
  int cuts = 0, clearCuts = 0, rejected = 0;
  for (unsigned seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    std::vector<Mesh> generation{RandomSolid(rng)};
    for (int depth = 0; depth < 5 && !generation.empty(); ++depth) {
      std::vector<Mesh> next;
      for (const Mesh& piece : generation) {
        if (piece.TriangleCount() < 4) continue;
        // Mostly planes clear of every vertex (a few tries), a quarter through a vertex.
        const bool onVertex = std::bernoulli_distribution(0.25)(rng);
        Plane plane = RandomPlane(piece, rng, onVertex);
        for (int tries = 0; !onVertex && tries < 8 && MinAbsDistance(piece, plane) <= 0.02; ++tries)
          plane = RandomPlane(piece, rng, false);
        Cut cut;
        SplitAndClose(piece, plane, cut);
        ++cuts;
        const bool clear = MinAbsDistance(piece, plane) > 0.02;
        clearCuts += clear;
        const ::testing::AssertionResult result = CheckCut(piece, plane, cut);
        if (!clear && !result) {
          // With vertices on the plane a cap may not close the half: a face
          // lying within the tolerance goes to the front whole and is capped
          // over again, or the loop passes twice through an on-plane vertex
          // (the sides of its neighbours can alternate around it) and the fan
          // repeats an edge. The split then relies on the degeneracy check
          // to reject the halves, so that check must fire.
          ASSERT_TRUE(IsDegenerate(cut.front) || IsDegenerate(cut.back))
              << "seed " << seed << " depth " << depth << ": " << result.message();
          ++rejected;
          continue;
        }
        ASSERT_TRUE(result) << "seed " << seed << " depth " << depth;
        // At most four pieces per generation keep the run short.
        if (next.size() < 4) next.push_back(std::move(cut.front));
        if (next.size() < 4) next.push_back(std::move(cut.back));
      }
      generation.swap(next);
    }
  }
  EXPECT_GT(cuts, 600);
  EXPECT_LT(rejected, cuts / 10);
  EXPECT_GT(clearCuts, cuts / 2);  // the exact volume check did run often
}

// ---------------------------------------------------------------------------
// Edge cases of the side table and the triangle step, against y = 0, normal +y
// ---------------------------------------------------------------------------

const Plane kUp(Vector(0, 1, 0), Vector(0, 0, 0));

struct Split {
  Mesh front, back;
  SplitContext context;
  explicit Split(const Mesh& source) { SplitMesh(source, kUp, front, back, context); }
  // Front and back triangles, front and back vertices, cut edges, front and back cut set sizes.
  std::vector<size_t> Counts() const {
    return {front.TriangleCount(), back.TriangleCount(), front.VertexCount(), back.VertexCount(),
            context.cutEdgeMap.size(), context.frontCutSet.size(), context.backCutSet.size()};
  }
};
Mesh Soup(std::initializer_list<Vertex> vertices, std::initializer_list<std::array<uint32_t, 3>> triangles) {
  Mesh m;
  for (const Vertex& v : vertices) m.AddVertex(v);
  for (const auto& t : triangles) m.AddTriangle(t[0], t[1], t[2]);
  return m;
}

// One triangle (0, y0, 0), (1, y1, 0), (0, y2, 1) per case, around the
// on-plane tolerance of 0.01.
TEST(SplitEdgeCases, SideTableToleranceOnPlaneCornersAndBadTriangles) {
  const float above = std::nextafter(0.01f, 1.0f);
  struct Case {
    const char* what;
    float y[3];
    std::vector<size_t> counts;  // as Split::Counts
  };
  const Case cases[] = {
      {"d = 0.01 is on: (on, back, back)", {0.01f, -1, -1}, {0, 1, 1, 3, 0, 1, 1}},
      {"just above 0.01 is front: cut", {above, -1, -1}, {1, 2, 3, 4, 2, 2, 2}},
      {"d = -0.01 is on: (on, front, front)", {-0.01f, 1, 1}, {1, 0, 3, 0, 0, 1, 0}},
      {"all on the plane: front only", {0, 0.005f, -0.005f}, {1, 0, 3, 0, 0, 3, 0}},
      {"(on, on, back): on vertices copied to front too", {0, 0, -1}, {0, 1, 2, 3, 0, 2, 2}}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Split s(Soup({Vertex(0, k.y[0], 0), Vertex(1, k.y[1], 0), Vertex(0, k.y[2], 1)}, {{0, 1, 2}}));
    EXPECT_EQ(s.Counts(), k.counts);
    // Only vertices on the plane (or made on it) enter the cut sets.
    for (uint32_t i : s.context.frontCutSet) EXPECT_LE(std::abs(s.front.vertices[i].y), 0.01f);
    for (uint32_t i : s.context.backCutSet) EXPECT_LE(std::abs(s.back.vertices[i].y), 0.01f);
  }
  // Whole vertices (every attribute) go over; a vertex no triangle uses does not.
  Mesh m = Soup({Vertex(0, 1, 0), Vertex(1, 1, 0), Vertex(0, 2, 1), Vertex(1, 3, 1)}, {{0, 2, 3}});
  m.vertices[3].intAttributes[1] = 5;
  m.vertices[3].floatAttributes[3] = 0.25f;
  const Split s(m);
  ASSERT_EQ(s.Counts(), (std::vector<size_t>{1, 0, 3, 0, 0, 0, 0}));
  const uint32_t moved = s.context.frontVertexMap.Get(3);
  ASSERT_LT(moved, 3u);
  EXPECT_EQ(0, std::memcmp(&s.front.vertices[moved], &m.vertices[3], sizeof(Vertex)));
  EXPECT_EQ(s.context.frontVertexMap.Get(1), VertexIndexMap::kNone);

  // Triangles collapsing to fewer than three vertices are named on the console.
  testing::internal::CaptureStdout();
  const Split c(Soup({Vertex(0, 1, 0), Vertex(0, -1, 0), Vertex(1, 1, 0)}, {{0, 1, 2}, {0, 0, 1}, {2, 2, 2}}));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Splitting triangle 1 produced no valid triangles.\nSplitting triangle 2 produced no valid triangles.\n");
  EXPECT_EQ(c.front.TriangleCount() + c.back.TriangleCount(), 3u);  // from triangle 0 only

  // An index past the vertex array is reported and its triangle skipped.
  LogCapture log;
  const Split b(Soup({Vertex(0, 1, 0), Vertex(1, 1, 0), Vertex(0, 1, 1)}, {{0, 1, 99}, {0, 1, 2}}));
  EXPECT_TRUE(log.Logged("ERROR: geom/mesh_splitter.cpp:"));
  EXPECT_EQ(b.front.TriangleCount(), 1u);
  EXPECT_EQ(SurfaceFault(b.front).find("index out of range"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Degeneracy
// ---------------------------------------------------------------------------

// A closed box is not degenerate: each triangle shares its edges with
// three others, four in all. One triangle glued onto an edge of triangle 0
// makes five: reported with the triangle's line, its shared edge counts and
// its four neighbours. (The split sweep above has the check fire for every
// bad half and never for a good one.)
TEST(IsDegenerate, OneGluedTriangleIsReportedWithItsNeighbours) {
  Mesh box = BuildBox(1, 1, 1, 2, 2, 2);
  EXPECT_FALSE(IsDegenerate(box));
  const uint32_t* i = box.triangles[0].indices;
  const uint32_t a = i[0], b = i[1];
  box.AddTriangle(b, a, box.AddVertex(Vertex(5, 5, 5)));
  LogCapture log;
  EXPECT_TRUE(IsDegenerate(box));
  const std::string report = log.NewLog();
  const std::string head = "Triangle\n0 : (" + std::to_string(i[0]) + "," + std::to_string(i[1]) + "," + std::to_string(i[2]) +
                           ") = ";
  const size_t neighbours = report.find("Neighbor triangles\n");
  EXPECT_TRUE(log.Logged(head) && log.Logged("Shared edge counts\n(" + std::to_string(a) + "," + std::to_string(b) + ") : 2\n"))
      << report;
  ASSERT_NE(neighbours, std::string::npos);
  size_t lines = 0;  // one " : (" line per neighbour
  for (size_t at = report.find(" : (", neighbours); at != std::string::npos; at = report.find(" : (", at + 1)) ++lines;
  EXPECT_EQ(lines, 4u);
}

}  // namespace
