// The splitter and the closing of the cut: each primitive cut through its
// centre, the edge cases of the side table, the triangle step and the loops.
// The sweep over random cuts is in split_property_test.cpp.

#include "geom/mesh_splitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "geom/close_cut.h"
#include "geom/mesh_builders.h"
#include "geom_test_util.h"

namespace {

using geomtest::ErrorCapture;
using geomtest::SignedVolume;
using geomtest::SurfaceFault;

// Signed distance in double, independent of the code under test.
double Distance(const Plane& plane, const Vertex& v) {
  return plane.normal.x * (double(v.x) - plane.point.x) +
         plane.normal.y * (double(v.y) - plane.point.y) +
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

struct Cut {
  Mesh front, back;
  SplitContext context;
  double capArea = 0;  // the larger of the two caps
};

void SplitAndClose(const Mesh& source, const Plane& plane, Cut& cut) {
  SplitMesh(source, plane, cut.front, cut.back, cut.context);
  for (Mesh* half : {&cut.front, &cut.back}) {
    const uint32_t before = half->TriangleCount();
    CloseCut(*half, half == &cut.front ? cut.context.frontCutSet : cut.context.backCutSet);
    double area = 0;
    for (uint32_t t = before; t < half->TriangleCount(); ++t) area += half->TriangleArea(t);
    cut.capArea = std::max(cut.capArea, area);
  }
}

::testing::AssertionResult CheckCut(const Mesh& source, const Plane& plane, const Cut& cut) {
  for (const Mesh* half : {&cut.front, &cut.back}) {
    const char* which = half == &cut.front ? "front" : "back";
    const std::string fault = SurfaceFault(*half);
    if (!fault.empty()) return ::testing::AssertionFailure() << which << " not closed: " << fault;
    if (IsDegenerate(*half))
      return ::testing::AssertionFailure() << which << " reported degenerate";
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
  const double whole = SignedVolume(source), front = SignedVolume(cut.front),
               back = SignedVolume(cut.back);
  const double bound =
      1e-4 * std::abs(whole) + (MinAbsDistance(source, plane) > 0.02 ? 0.0 : 0.02 * cut.capArea);
  if (std::abs(front + back - whole) > bound || front < -bound || back < -bound)
    return ::testing::AssertionFailure() << "volumes " << front << " + " << back << " vs source "
                                         << whole << " (bound " << bound << ")";
  return ::testing::AssertionSuccess();
}

TEST(SplitProperties, EachPrimitiveCutThroughItsCentre) {
  const Plane plane(Normalize(Vector(1.0f, 0.3f, 0.2f)), Vector(0, 0, 0));
  const Mesh solids[] = {BuildBox(2, 2, 2, 2, 3, 4), BuildCone(16, 8, 1, 0, 2),
                         BuildSphere(12, 12, 1), DentedBox(2, 2, 2, 0.5f)};
  for (const Mesh& solid : solids) {
    SCOPED_TRACE(solid.name);
    Cut cut;
    SplitAndClose(solid, plane, cut);
    EXPECT_GT(cut.front.TriangleCount(), 0u);
    EXPECT_GT(cut.back.TriangleCount(), 0u);
    EXPECT_TRUE(CheckCut(solid, plane, cut));
  }
}

// ---------------------------------------------------------------------------
// Edge cases of the side table and the triangle step, against y = 0, normal +y
// ---------------------------------------------------------------------------

const Plane kUp(Vector(0, 1, 0), Vector(0, 0, 0));

std::vector<uint32_t> Indices(const Mesh& m, uint32_t t) {
  return {m.triangles[t].indices[0], m.triangles[t].indices[1], m.triangles[t].indices[2]};
}

struct Split {
  Mesh front, back;
  SplitContext context;
  explicit Split(const Mesh& source) { SplitMesh(source, kUp, front, back, context); }
  // Front and back triangles, front and back vertices, cut edges, front and back cut set sizes.
  std::vector<size_t> Counts() const {
    return {front.TriangleCount(),    back.TriangleCount(),      front.VertexCount(),
            back.VertexCount(),       context.cutEdgeMap.size(), context.frontCutSet.size(),
            context.backCutSet.size()};
  }
};

// One triangle (0, y0, 0), (1, y1, 0), (0, y2, 1) per case. A single output
// triangle made of source vertices keeps the winding and starts at source
// corner `first` (on-plane and whole-side triangles start at c1).
TEST(SplitEdgeCases, SideTableToleranceAndOnPlaneCorners) {
  const float above = std::nextafter(0.01f, 1.0f);
  struct Case {
    const char* what;
    float y[3];
    std::vector<size_t> counts;  // as Split::Counts
    int first;                   // -1: the triangle is cut
  };
  const Case cases[] = {
      {"d = 0.01 is on: (on, back, back)", {0.01f, -1, -1}, {0, 1, 1, 3, 0, 1, 1}, 0},
      {"just above 0.01 is front: cut", {above, -1, -1}, {1, 2, 3, 4, 2, 2, 2}, -1},
      {"d = -0.01 is on: (on, front, front)", {-0.01f, 1, 1}, {1, 0, 3, 0, 0, 1, 0}, 1},
      {"all on the plane: front only", {0, 0.005f, -0.005f}, {1, 0, 3, 0, 0, 3, 0}, 1},
      {"(on, on, back): on vertices copied to front too", {0, 0, -1}, {0, 1, 2, 3, 0, 2, 2}, 1}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Mesh m;
    for (int i = 0; i < 3; ++i)
      m.AddVertex(Vertex(i == 1 ? 1.0f : 0.0f, k.y[i], i == 2 ? 1.0f : 0.0f));
    m.AddTriangle(0, 1, 2);
    const Split s(m);
    EXPECT_EQ(s.Counts(), k.counts);
    // Only vertices on the plane (or made on it) enter the cut sets.
    for (uint32_t i : s.context.frontCutSet) EXPECT_LE(std::abs(s.front.vertices[i].y), 0.01f);
    for (uint32_t i : s.context.backCutSet) EXPECT_LE(std::abs(s.back.vertices[i].y), 0.01f);
    const Mesh& out = k.counts[0] ? s.front : s.back;
    for (int c = 0; c < 3 && k.first >= 0; ++c)
      EXPECT_EQ(out.CornerPosition(0, c), m.vertices[(k.first + c) % 3].Position())
          << "corner " << c;
  }
}

TEST(SplitEdgeCases, WhollyFrontRenumbersByFirstUseAndCopiesWholeVertices) {
  Mesh m;
  for (const Vertex& v : {Vertex(0, 1, 0), Vertex(1, 1, 0), Vertex(0, 2, 1), Vertex(1, 3, 1)})
    m.AddVertex(v);
  Vertex tagged(2, 2, 2);  // vertex 1 above is used by no triangle
  tagged.intAttributes[1] = 5;
  tagged.floatAttributes[3] = 0.25f;
  m.AddVertex(tagged);
  m.AddTriangle(0, 2, 3);
  m.AddTriangle(3, 2, 4);
  const Split s(m);
  EXPECT_EQ(s.Counts(), (std::vector<size_t>{2, 0, 4, 0, 0, 0, 0}));
  // First use, corners rotated to (c1, c2, c0): 2, 3, 0, then 4.
  for (uint32_t i = 0; i < 3; ++i)
    EXPECT_EQ(s.front.vertices[i].Position(), m.vertices[(i + 2) % 4].Position());
  EXPECT_TRUE(s.front.vertices[3].intAttributes[1] == 5 &&
              s.front.vertices[3].floatAttributes[3] == 0.25f);
  EXPECT_EQ(Indices(s.front, 0), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(Indices(s.front, 1), (std::vector<uint32_t>{0, 3, 1}));
  EXPECT_EQ(s.context.frontVertexMap.Get(2), 0u);
  EXPECT_EQ(s.context.frontVertexMap.Get(1), VertexIndexMap::kNone);
  EXPECT_EQ(s.context.frontVertexMap.size(), 4u);
}

TEST(SplitEdgeCases, OneFrontTwoBackAndASharedCrossingEdge) {
  // Triangles (0, 1, 2) and (0, 3, 1) share the crossing edge 0-1, which
  // gives one vertex in each half for both; edges 0-2 and 0-3 give one each.
  Mesh m;
  for (const Vertex& v : {Vertex(0, 1, 0), Vertex(0, -1, 0), Vertex(1, -1, 1), Vertex(-1, -1, 1)})
    m.AddVertex(v);
  m.AddTriangle(0, 1, 2);
  m.AddTriangle(0, 3, 1);
  const Split s(m);
  ASSERT_EQ(s.Counts(), (std::vector<size_t>{2, 4, 1 + 3, 3 + 3, 3, 3, 3}));
  const IndexPair x01 = s.context.cutEdgeMap.at(IndexPair(0, 1)),
                  x02 = s.context.cutEdgeMap.at(IndexPair(0, 2));
  // Triangle 0: front (X01, X20, c0); back fan from X01: (X01, c1, c2), (X01, c2, X20).
  EXPECT_EQ(Indices(s.front, 0),
            (std::vector<uint32_t>{x01.first, x02.first, s.context.frontVertexMap.Get(0)}));
  const uint32_t b1 = s.context.backVertexMap.Get(1), b2 = s.context.backVertexMap.Get(2);
  EXPECT_EQ(Indices(s.back, 0), (std::vector<uint32_t>{x01.second, b1, b2}));
  EXPECT_EQ(Indices(s.back, 1), (std::vector<uint32_t>{x01.second, b2, x02.second}));
  // Cut vertices carry only a position, split triangles only their indices.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(s.front.vertices[x01.first].intAttributes[i], 0);
  EXPECT_EQ(s.front.triangles[0].normals[0][0], 0.0f);
}

TEST(SplitEdgeCases, RepeatedIndexWritesTheConsoleLineOutOfRangeIsReported) {
  Mesh m;
  for (const Vertex& v : {Vertex(0, 1, 0), Vertex(0, -1, 0), Vertex(1, 1, 0)}) m.AddVertex(v);
  m.AddTriangle(0, 1, 2);
  m.AddTriangle(0, 0, 1);  // collapses to two vertices
  m.AddTriangle(2, 2, 2);
  testing::internal::CaptureStdout();
  const Split s(m);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Splitting triangle 1 produced no valid triangles.\n"
            "Splitting triangle 2 produced no valid triangles.\n");
  EXPECT_EQ(s.front.TriangleCount() + s.back.TriangleCount(), 3u);  // from triangle 0 only

  // An index past the vertex array is reported and its triangle skipped.
  Mesh bad;
  for (const Vertex& v : {Vertex(0, 1, 0), Vertex(1, 1, 0), Vertex(0, 1, 1)}) bad.AddVertex(v);
  bad.AddTriangle(0, 1, 99);
  bad.AddTriangle(0, 1, 2);
  ErrorCapture capture;
  const Split b(bad);
  EXPECT_TRUE(capture.Logged("geom/mesh_splitter.cpp"));
  EXPECT_TRUE(capture.Logged("triangle 0 has a vertex index out of range"));
  EXPECT_EQ(b.front.TriangleCount(), 1u);
  EXPECT_NE(SurfaceFault(b.front), "index out of range");
}

TEST(SplitEdgeCases, IntersectReportsImpossibleSegmentsAndGoesOn) {
  const Plane plane(Vector(0, 1, 0), Vector(0, 2, 0));
  struct Case {
    Vector a, b, expected;
    bool reports, finite;
  };
  const Case cases[] = {
      {Vector(0, 0, 0), Vector(4, 4, 0), Vector(2, 2, 0), false, true},
      {Vector(0, 1, 0), Vector(5, 1, 0), Vector(0, 0, 0), true, false},  // den = 0
      {Vector(0, 0, 0), Vector(0, 1, 0), Vector(0, 2, 0), true, true}};  // t > 1
  for (const Case& k : cases) {
    ErrorCapture capture;
    const Vector p = Intersect(k.a, k.b, plane);
    EXPECT_EQ(capture.Logged("geom/mesh_splitter.cpp") && capture.Logged("assert failed!"),
              k.reports);
    if (k.finite) {
      EXPECT_EQ(p, k.expected);  // computed all the same
    }
  }
}

// ---------------------------------------------------------------------------
// Closing the cut
// ---------------------------------------------------------------------------

// The loop-linking rule read literally: scan all open loops for each edge.
BoundaryLoopList LinkLiterally(const std::vector<BoundaryEdge>& edges) {
  BoundaryLoopList list;
  for (const BoundaryEdge& e : edges) {
    int frontMatch = -1, backMatch = -1;
    for (size_t i = 0; i < list.loops.size(); ++i) {
      if (list.closed[i]) continue;
      if (list.loops[i].front() == e.second) frontMatch = int(i);
      if (list.loops[i].back() == e.first) backMatch = int(i);
    }
    if (frontMatch < 0 && backMatch < 0) {
      list.loops.push_back({e.first, e.second});
      list.closed.push_back(false);
    } else if (frontMatch < 0) {
      list.loops[backMatch].push_back(e.second);
    } else if (backMatch < 0) {
      list.loops[frontMatch].push_front(e.first);
    } else if (frontMatch == backMatch) {
      list.closed[frontMatch] = true;
    } else {
      auto& to = list.loops[backMatch];
      to.insert(to.end(), list.loops[frontMatch].begin(), list.loops[frontMatch].end());
      list.loops.erase(list.loops.begin() + frontMatch);
      list.closed.erase(list.closed.begin() + frontMatch);
    }
  }
  return list;
}

TEST(CloseCut, LinkingGrowsMergesAndClosesLoopsInOrderAndLogs) {
  // Hand-checked anchors for the literal rule: (1,2) and (3,4) start two
  // pieces, (2,3) appends the second to the first, (4,1) closes it; then
  // growth at the front and a second, open loop.
  ErrorCapture capture;
  const BoundaryLoopList a = LinkBoundaryLoops({{1, 2}, {3, 4}, {2, 3}, {4, 1}});
  EXPECT_EQ(a.loops, (std::vector<std::deque<uint32_t>>{{1, 2, 3, 4}}));
  EXPECT_TRUE(capture.Logged("boundaryList.size() = 1\nnumClosed = 1\n"));
  const BoundaryLoopList b = LinkBoundaryLoops({{2, 3}, {1, 2}, {7, 8}, {3, 1}});
  EXPECT_EQ(b.loops, (std::vector<std::deque<uint32_t>>{{1, 2, 3}, {7, 8}}));
  EXPECT_EQ(b.closed, (std::vector<bool>{true, false}));
  EXPECT_TRUE(capture.Logged("boundaryList.size() = 2\nnumClosed = 1\n"));
  // Random edge lists over few vertices (so that loops share ends and merges
  // abound) give exactly the loops of the literal rule.
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    std::uniform_int_distribution<uint32_t> vertex(0, 2 + round % 9);
    std::vector<BoundaryEdge> edges(std::uniform_int_distribution<size_t>(0, 25)(rng));
    for (BoundaryEdge& e : edges) e = BoundaryEdge(vertex(rng), vertex(rng));
    const BoundaryLoopList expected = LinkLiterally(edges);
    testing::internal::CaptureStdout();
    const BoundaryLoopList got = LinkBoundaryLoops(edges);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(got.loops, expected.loops) << "round " << round;
    ASSERT_EQ(got.closed, expected.closed) << "round " << round;
  }
}

TEST(CloseCut, SingleVertexTouchAddsNothingAndCapLoopFansFromTheFirstEntry) {
  const Mesh sphere = BuildSphere(8, 6, 1.5f);
  Mesh front, back;
  SplitContext context;
  SplitMesh(sphere, Plane(Vector(0, 1, 0), Vector(0, 1.5f, 0)), front, back,
            context);  // top pole only
  EXPECT_EQ(front.TriangleCount(), 0u);
  EXPECT_EQ(front.VertexCount(), 1u);
  EXPECT_EQ(context.frontCutSet.size(), 1u);
  {
    ErrorCapture capture;
    CloseCut(front, context.frontCutSet);
    CloseCut(back, context.backCutSet);
    EXPECT_TRUE(capture.Logged("boundaryList.size() = 0\nnumClosed = 0\n"));
  }
  EXPECT_EQ(front.TriangleCount(), 0u);
  EXPECT_EQ(back.TriangleCount(), sphere.TriangleCount());
  EXPECT_EQ(SurfaceFault(back), "");

  Mesh m;
  for (int i = 0; i < 6; ++i) m.AddVertex(Vertex(float(i), float(i * i), 0));
  CapLoop({4, 1}, m);  // fewer than three entries: nothing
  EXPECT_EQ(m.TriangleCount(), 0u);
  CapLoop({4, 1, 2, 5}, m);
  ASSERT_EQ(m.TriangleCount(), 2u);
  EXPECT_EQ(Indices(m, 0), (std::vector<uint32_t>{4, 1, 2}));
  EXPECT_EQ(Indices(m, 1), (std::vector<uint32_t>{4, 2, 5}));
}

// ---------------------------------------------------------------------------
// Degeneracy
// ---------------------------------------------------------------------------

// The degeneracy rule read literally: the set S of triangles sharing an edge
// with triangle t (t included); returns the first t with |S| > 4, or -1.
int FirstOffending(const Mesh& m) {
  std::vector<std::vector<uint32_t>> uses(m.VertexCount());
  for (uint32_t t = 0; t < m.TriangleCount(); ++t)
    for (uint32_t i : m.triangles[t].indices) uses[i].push_back(t);
  for (uint32_t t = 0; t < m.TriangleCount(); ++t) {
    std::set<uint32_t> s;
    const uint32_t* i = m.triangles[t].indices;
    for (int e = 0; e < 3; ++e)
      for (uint32_t u : uses[i[e]])
        if (std::count(uses[i[(e + 1) % 3]].begin(), uses[i[(e + 1) % 3]].end(), u)) s.insert(u);
    if (s.size() > 4) return int(t);
  }
  return -1;
}

TEST(IsDegenerate, GluedPairIsReported) {
  Mesh box = BuildBox(1, 1, 1, 2, 2, 2);
  // Glue two triangles with the same three vertices, in opposite order, onto
  // the box's edge (a, b) of triangle 0.
  const uint32_t a = box.triangles[0].indices[0], b = box.triangles[0].indices[1];
  const uint32_t c = box.AddVertex(Vertex(5, 5, 5));
  box.AddTriangle(a, b, c);
  box.AddTriangle(b, a, c);

  ErrorCapture capture;
  EXPECT_TRUE(IsDegenerate(box));
  const std::string log = capture.NewLog();
  const uint32_t* i = box.triangles[0].indices;
  std::ostringstream head;
  head << "Triangle\n0 : (" << i[0] << "," << i[1] << "," << i[2] << ") = " << box.TriangleArea(0)
       << "\nShared edge counts\n(" << i[0] << "," << i[1] << ") : 3\n(" << i[1] << "," << i[2]
       << ") : 1\n(" << i[2] << "," << i[0] << ") : 1\nNeighbor triangles\n";
  const size_t at = log.find(head.str());
  ASSERT_NE(at, std::string::npos) << log;
  // Five neighbours, in index order, the glued pair last.
  std::istringstream lines(log.substr(at + head.str().size()));
  std::vector<uint32_t> neighbours;
  std::string line;
  while (std::getline(lines, line) && line.find(" : (") != std::string::npos)
    neighbours.push_back(static_cast<uint32_t>(std::stoul(line)));
  ASSERT_EQ(neighbours.size(), 5u);
  EXPECT_TRUE(std::is_sorted(neighbours.begin(), neighbours.end()));
  EXPECT_EQ(neighbours[3], box.TriangleCount() - 2);
  EXPECT_EQ(neighbours[4], box.TriangleCount() - 1);
}

// Random triangle soups and damaged closed meshes: the answer agrees with
// the literal rule (the quick test for surfaces must never hide a case), and
// the report names the first offending triangle.
TEST(IsDegenerate, AgreesWithTheLiteralRule) {
  std::mt19937 rng(3);
  int degenerate = 0;
  for (int round = 0; round < 400; ++round) {
    Mesh m;
    uint32_t extra = 0;
    if (round % 2 == 0) {
      for (uint32_t i = 0; i <= 4 + uint32_t(round % 12); ++i) m.AddVertex(Vertex(float(i), 1, 0));
      extra = std::uniform_int_distribution<uint32_t>(1, 30)(rng);
    } else {
      m = BuildSphere(5, 4, 1);
      extra = std::uniform_int_distribution<uint32_t>(0, 2)(rng);
    }
    std::uniform_int_distribution<uint32_t> vertex(0, m.VertexCount() - 1);
    for (; extra > 0; --extra) m.AddTriangle(vertex(rng), vertex(rng), vertex(rng));
    const int offending = FirstOffending(m);
    ErrorCapture capture;
    ASSERT_EQ(IsDegenerate(m), offending >= 0 || !SurfaceFault(m).empty() || SignedVolume(m) <= 0)
        << "round " << round;
    if (offending >= 0) {
      ++degenerate;
      const uint32_t* i = m.triangles[offending].indices;
      std::ostringstream head;
      head << "Triangle\n" << offending << " : (" << i[0] << "," << i[1] << "," << i[2] << ") = ";
      ASSERT_NE(capture.NewLog().find(head.str()), std::string::npos) << capture.NewLog();
    }
  }
  EXPECT_GT(degenerate, 50);
  EXPECT_LT(degenerate, 350);
}

}  // namespace
