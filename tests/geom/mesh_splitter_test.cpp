// The splitter and the closing of the cut: the edge cases of the side table,
// the triangle step and the loops, and the degeneracy report. The sweep over
// random cuts is in split_property_test.cpp.

#include "geom/mesh_splitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "geom/close_cut.h"
#include "geom/mesh_builders.h"
#include "support/log_capture.h"
#include "support/mesh_checks.h"

namespace {

using support::LogCapture;
using support::SurfaceFault;

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

// A box with its top face taken off has one opening, the face's outline:
// the boundary edges are the removed triangles' edges but the diagonal.
// Cut-set members and triangle corners past the vertex list (a broken mesh)
// are left out, not read or written out of bounds.
TEST(FindBoundaryEdges, AnOpeningIsFoundAndIndicesPastTheVerticesAreLeftOut) {
  Mesh box = BuildBox(1, 1, 1, 2, 2, 2);
  std::vector<std::array<uint32_t, 3>> removed;
  VertexIndexSet top;
  for (size_t t = 0; t < box.triangles.size();) {
    const uint32_t* i = box.triangles[t].indices;
    if (box.vertices[i[0]].y > 0.5f && box.vertices[i[1]].y > 0.5f && box.vertices[i[2]].y > 0.5f) {
      removed.push_back({i[0], i[1], i[2]});
      for (int c = 0; c < 3; ++c) top.insert(i[c]);
      box.triangles.erase(box.triangles.begin() + static_cast<std::ptrdiff_t>(t));
    } else {
      ++t;
    }
  }
  ASSERT_EQ(removed.size(), 2u);
  std::vector<BoundaryEdge> expected;
  for (const auto& r : removed)
    for (int c = 0; c < 3; ++c) {
      const BoundaryEdge e(r[c], r[(c + 1) % 3]);
      bool diagonal = false;  // the edge both removed triangles share, either way round
      for (const auto& q : removed)
        for (int d = 0; d < 3; ++d) diagonal |= &q != &r && q[d] == e.second && q[(d + 1) % 3] == e.first;
      if (!diagonal) expected.push_back(e);
    }
  std::sort(expected.begin(), expected.end());
  auto found = [](const Mesh& mesh, const VertexIndexSet& cut) {
    std::vector<BoundaryEdge> edges = FindBoundaryEdges(mesh, cut);
    std::sort(edges.begin(), edges.end());
    return edges;
  };
  ASSERT_EQ(expected.size(), 4u);
  EXPECT_EQ(found(box, top), expected);

  VertexIndexSet broken = top;
  broken.insert(UINT32_MAX);
  broken.insert(box.VertexCount() + 3);
  const uint32_t corner = *top.begin();
  box.triangles.push_back(Triangle());
  box.triangles.back().indices[0] = corner;
  box.triangles.back().indices[1] = 999;
  box.triangles.back().indices[2] = 998;
  EXPECT_EQ(found(box, broken), expected);
}

// ---------------------------------------------------------------------------
// Degeneracy
// ---------------------------------------------------------------------------

// A closed box is not degenerate: each triangle shares its edges with
// three others, four in all. One triangle glued onto an edge of triangle 0
// makes five: reported with the triangle's line, its shared edge counts and
// its four neighbours. (The split sweep has the check fire for every bad
// half and never for a good one.)
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

// A plate 2 x t x 2 encloses volume 4t within area 8 + 8t; it is flat when
// the volume is at most 1e-4 times the area to the power 1.5. Plates a
// third above and below that line, turned so that their large faces face no
// axis: the thicker is a solid, the thinner is reported with its true area.
TEST(IsDegenerate, APlateIsFlatBelowTheVolumeBoundHoweverItIsTurned) {
  const Matrix4 turn = Matrix4::Rotation(0.8f, 0.6f, 0.7f);
  const Vector faceNormal = turn * Vector(0, 1, 0, 0);
  // Guard: the large faces' normals are far from the axes (|n|_1 near sqrt 3).
  ASSERT_GT(std::fabs(faceNormal.x) + std::fabs(faceNormal.y) + std::fabs(faceNormal.z), 1.4f);
  for (const double ratio : {1.3e-4, 0.7e-4}) {
    double t = 1e-3;  // solves 4 t = ratio (8 + 8 t)^1.5 by iteration
    for (int k = 0; k < 50; ++k) t = ratio * std::pow(8.0 + 8.0 * t, 1.5) / 4.0;
    Mesh plate = BuildBox(1, 1, 1, 2.0f, static_cast<float>(t), 2.0f);
    plate.Transform(turn);
    LogCapture log;
    const bool flat = IsDegenerate(plate);
    EXPECT_EQ(flat, ratio < 1e-4) << ratio;
    if (!flat) continue;
    const std::string text = log.NewLog(), tag = "encloses no volume, volume ";
    const size_t at = text.find(", surface area ");
    ASSERT_TRUE(log.Logged(tag) && at != std::string::npos) << text;
    EXPECT_NEAR(std::stod(text.substr(at + 15)), 8.0 + 8.0 * t, 1e-4) << text;
  }
}

// The check files edges in a bit matrix for a small mesh and in per-vertex
// buckets for a large one. A mesh and the same mesh with 65,536 unused
// vertices appended (which move neither its first vertex nor its largest
// coordinate) must get the same verdict and the same words: a closed box and
// sphere, and the box opened, with a triangle doubled, with one turned,
// turned inside out and flattened.
TEST(IsDegenerate, AMeshGetsTheSameVerdictWhateverItsVertexCount) {
  const Mesh box = BuildBox(2, 1, 3, 2, 1, 3), sphere = BuildSphere(10, 8, 1.5f);
  std::vector<std::pair<Mesh, bool>> cases = {{box, false}, {sphere, false}};
  for (int fault = 0; fault < 5; ++fault) {
    Mesh m = box;
    if (fault == 0) m.triangles.erase(m.triangles.begin() + 5);
    if (fault == 1) m.triangles.push_back(m.triangles[7]);
    if (fault == 2) std::swap(m.triangles[3].indices[0], m.triangles[3].indices[1]);
    if (fault == 3)
      for (Triangle& t : m.triangles) std::swap(t.indices[1], t.indices[2]);
    if (fault == 4)
      for (Vertex& v : m.vertices) v.y *= 1e-6f;
    cases.emplace_back(m, true);
  }
  for (auto& [mesh, degenerate] : cases) {
    LogCapture small;
    EXPECT_EQ(IsDegenerate(mesh), degenerate);
    const std::string smallText = small.NewLog();
    mesh.vertices.resize(mesh.vertices.size() + 65536);
    LogCapture large;
    EXPECT_EQ(IsDegenerate(mesh), degenerate);
    EXPECT_EQ(large.NewLog(), smallText);
    EXPECT_EQ(smallText.empty(), !degenerate) << smallText;
  }
}

// A check that stops at an index out of range has filed the edges met so
// far; the next check must not see them. A holds triangle T of a box and
// then a broken triangle; B is the box without T, open where T was: with
// T's edges left over from A it would look closed. (The box's vertices are
// numbered from 65,536 on: meshes that large file their edges in buckets,
// which outlive a check.)
TEST(IsDegenerate, ACheckStoppedEarlyLeavesNothingForTheNext) {
  constexpr uint32_t kFirst = 65536;
  Mesh box = BuildBox(1, 1, 1, 2, 2, 2);
  box.vertices.insert(box.vertices.begin(), kFirst, Vertex(0, 0, 0));
  for (Triangle& t : box.triangles)
    for (uint32_t& i : t.indices) i += kFirst;
  Mesh first, open = box;
  first.vertices = box.vertices;
  first.triangles = {box.triangles[0], box.triangles[0]};
  first.triangles[1].indices[2] = kFirst + 999;
  open.triangles.erase(open.triangles.begin());
  EXPECT_TRUE(IsDegenerate(first));
  LogCapture log;
  EXPECT_TRUE(IsDegenerate(open));
  // The edge named is one of T's, the way round that B still holds.
  const uint32_t* t = box.triangles[0].indices;
  bool named = false;
  for (int c = 0; c < 3; ++c)
    named |= log.Logged("not closed, directed edge (" + std::to_string(t[(c + 1) % 3]) + "," +
                        std::to_string(t[c]) + ")");
  EXPECT_TRUE(named) << log.NewLog();
}

// The halves of a large mesh are written past the caches (a sphere of
// 105,800 triangles gives halves of about 53,000, some 10 MB of records
// each), into arrays whose memory last held other records (every byte 0xA5
// here). They must come out as closed, consistently wound surfaces that
// hold the source's volume between them, with every word of every record
// but its indices zero. The sphere is known to hold no repeated triangle,
// so its halves are copied without lookups: they must equal, record for
// record, the halves of the same sphere not known to be so (its triangles
// put in directly), which are looked up one by one, and know themselves
// distinct for the next cut.
TEST(SplitLarge, HalvesWrittenPastTheCachesAreWholeAndCarryOnlyIndices) {
  const Mesh sphere = BuildSphere(230, 230, 2.0f);
  ASSERT_GT(sphere.TriangleCount(), 100000u);
  {
    Mesh a = sphere, b = sphere;  // their arrays are kept for reuse when they go
    for (Mesh* m : {&a, &b})
      std::memset(static_cast<void*>(m->triangles.data()), 0xA5, m->triangles.size() * sizeof(Triangle));
  }
  const Plane plane(Normalize(Vector(1.0f, 0.3f, 0.2f, 0.0f)), Vector(0.1f, 0.0f, 0.0f, 0.0f));
  Mesh front, back;
  SplitContext context;
  SplitMesh(sphere, plane, front, back, context);
  for (const Mesh* half : {&front, &back}) {
    ASSERT_GT(half->TriangleCount(), 50000u);
    size_t dirty = 0;
    for (const Triangle& t : half->triangles) {
      const uint32_t* words = reinterpret_cast<const uint32_t*>(&t);
      for (size_t k = 3; k < sizeof(Triangle) / 4; ++k) dirty += words[k] != 0;
    }
    EXPECT_EQ(dirty, 0u);
  }
  CloseCut(front, context.frontCutSet);
  CloseCut(back, context.backCutSet);
  EXPECT_EQ(SurfaceFault(front), "");
  EXPECT_EQ(SurfaceFault(back), "");
  EXPECT_TRUE(sphere.KnownDistinct() && front.KnownDistinct() && back.KnownDistinct());

  Mesh unknown;
  unknown.vertices = sphere.vertices;
  for (const Triangle& t : sphere.triangles) unknown.triangles.push_back(t);
  ASSERT_FALSE(unknown.KnownDistinct());
  Mesh checkedFront, checkedBack;
  SplitContext checked;
  SplitMesh(unknown, plane, checkedFront, checkedBack, checked);
  CloseCut(checkedFront, checked.frontCutSet);
  CloseCut(checkedBack, checked.backCutSet);
  for (auto [half, reference] : {std::pair(&front, &checkedFront), std::pair(&back, &checkedBack)}) {
    ASSERT_EQ(half->TriangleCount(), reference->TriangleCount());
    size_t differing = 0;
    for (size_t t = 0; t < half->triangles.size(); ++t)
      differing += !std::equal(half->triangles[t].indices, half->triangles[t].indices + 3,
                               reference->triangles[t].indices);
    EXPECT_EQ(differing, 0u);
  }
  // The caps are flat (no vertex lies within the side test's band of the
  // plane here), so only rounding separates the sums.
  const double source = support::SignedVolume(sphere);
  EXPECT_NEAR(support::SignedVolume(front) + support::SignedVolume(back), source, 1e-4 * source);
}

}  // namespace
