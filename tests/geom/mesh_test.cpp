// The mesh record: triangle de-duplication under every kind of change (deep
// copies among them), face geometry and the texture mapping against plain
// double arithmetic.

#include "geom/mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <vector>


namespace {

// AddTriangle against the rule as first stated (a linear search from index 0
// for the same ordered triple), under every kind of change to the public
// array that the hash index kept beside it must survive, and with triangles
// the linear search finds new appended without a lookup, and with corners
// moved to new vertices in place (NoteNewIndices). The small index
// range makes repeats and rotations (which are different triangles) common.
// KnownDistinct may say false of distinct triples, never true of repeats.
TEST(MeshAddTriangle, MatchesLinearSearchUnderEveryKindOfChange) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<uint32_t> index(0, 5);
    std::uniform_int_distribution<int> op(0, 99);
    Mesh mesh;
    int knownDistinct = 0;
    for (int step = 0; step < 600; ++step) {
      const int o = op(rng);
      Triangle t;
      for (uint32_t& i : t.indices) i = index(rng);
      int64_t expected = -1;
      for (size_t k = 0; k < mesh.triangles.size() && expected < 0; ++k)
        if (std::equal(t.indices, t.indices + 3, mesh.triangles[k].indices)) expected = int64_t(k);
      if (mesh.KnownDistinct()) {
        ++knownDistinct;
        std::set<std::array<uint32_t, 3>> triples;
        for (const Triangle& k : mesh.triangles) triples.insert({k.indices[0], k.indices[1], k.indices[2]});
        ASSERT_EQ(triples.size(), mesh.triangles.size()) << "seed " << seed << " step " << step;
      }
      const size_t before = mesh.triangles.size();
      if (o < 15 && expected < 0) {
        ASSERT_EQ(mesh.AppendNewTriangle(t.indices[0], t.indices[1], t.indices[2]), before);
      } else if (o < 80) {
        const uint32_t got = mesh.AddTriangle(t.indices[0], t.indices[1], t.indices[2]);
        ASSERT_EQ(got, expected >= 0 ? uint32_t(expected) : before) << "seed " << seed << " step " << step;
        ASSERT_EQ(mesh.triangles.size(), before + (expected < 0 ? 1 : 0));
      } else if (o < 85) {
        auto copy = std::make_unique<Mesh>(mesh);  // the copy must answer like the original
        mesh = Mesh();
        mesh = *copy;
      } else if (o < 93) {
        mesh.triangles.push_back(t);  // bypasses AddTriangle, may even add a duplicate
      } else if (o < 96) {
        mesh.triangles.resize(mesh.triangles.size() / 2);
      } else if (o < 98 && !mesh.triangles.empty()) {
        // A corner moved to a vertex of its own (100 + step: no other
        // triangle has it), then noted; it must be found under its new triple.
        const uint32_t k = t.indices[0] % mesh.TriangleCount();
        uint32_t* i = mesh.triangles[k].indices;
        i[t.indices[1] % 3] = 100 + uint32_t(step);
        mesh.NoteNewIndices(k);
        ASSERT_EQ(mesh.AddTriangle(i[0], i[1], i[2]), k) << "seed " << seed << " step " << step;
      } else if (!mesh.triangles.empty()) {
        mesh.triangles[0].indices[0] = t.indices[0];  // rewritten in place, then reindexed
        mesh.ReindexTriangles();
      }
    }
    EXPECT_GT(knownDistinct, 20) << "seed " << seed;  // the check above ran
  }
}

// Streamed records start 0, 4, 8 and 12 bytes past a 16-byte boundary in
// turn (they are 180 bytes long); each must come out as its three indices
// and zeros, whatever the memory held, without touching its neighbours.
TEST(MeshAddTriangle, AStreamedRecordIsWrittenWholeAtEveryOffset) {
  Triangle poison;
  std::memset(static_cast<void*>(&poison), 0xA5, sizeof poison);
  Mesh mesh;
  mesh.triangles.assign(12, poison);
  mesh.triangles.clear();  // the memory keeps the poison
  std::set<uintptr_t> offsets;
  for (uint32_t k = 0; k < 9; ++k) {
    ASSERT_EQ(mesh.AddTriangleStreamed(3 * k, 3 * k + 1, 3 * k + 2), k);
    offsets.insert(reinterpret_cast<uintptr_t>(&mesh.triangles[k]) & 15);
  }
  StreamFence();
  EXPECT_EQ(offsets.size(), 4u);
  EXPECT_EQ(mesh.AddTriangleStreamed(6, 7, 8), 2u);  // a repeat adds nothing
  EXPECT_EQ(mesh.AddTriangle(9, 10, 11), 3u);
  ASSERT_EQ(mesh.triangles.size(), 9u);
  for (uint32_t k = 0; k < 9; ++k) {
    uint32_t expected[45] = {3 * k, 3 * k + 1, 3 * k + 2};  // the rest zero
    EXPECT_EQ(std::memcmp(&mesh.triangles[k], expected, sizeof expected), 0) << "record " << k;
  }
  // The record after the last is untouched.
  EXPECT_EQ(std::memcmp(mesh.triangles.data() + 9, &poison, sizeof poison), 0);
}

// The mapping rule with the rotation written out by hand: -0.1 rad about x
// takes (a, b, c) to (a, b cos 0.1 + c sin 0.1, -b sin 0.1 + c cos 0.1).
std::array<double, 3> ExpectedColour(const Vertex& v, const float s[3]) {
  const double a = v.x / (2.0 * s[0]), b = v.z / (2.0 * s[2]), c = v.y / (2.0 * s[1]);
  std::array<double, 3> r = {a, b * std::cos(0.1) + c * std::sin(0.1), -b * std::sin(0.1) + c * std::cos(0.1)};
  for (double& x : r) x = std::min(1.0, std::max(0.0, x + 0.5));
  return r;
}

// Random triangles, many corners far enough out to be clamped: the colour
// and texture coordinate by the mapping rule, flat normals, the face normal,
// area and centroid against double arithmetic.
TEST(MeshGeometry, FacesAttributesAndCentroidOfRandomTriangles) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-6.0f, 6.0f);
  for (int i = 0; i < 200; ++i) {
    Mesh m;
    for (int k = 0; k < 4; ++k) m.AddVertex(Vertex(u(rng), u(rng), u(rng)));  // vertex 3 is unused
    const float s[3] = {std::abs(u(rng)) + 0.5f, std::abs(u(rng)) + 0.5f, std::abs(u(rng)) + 0.5f};
    const uint32_t t = m.AddTriangleWithAttributes(0, 1, 2, s[0], s[1], s[2]);
    m.AddTriangle(2, 1, 0);
    const Triangle& tri = m.triangles[t];
    const Vertex &a = m.vertices[0], &b = m.vertices[1], &c = m.vertices[2];
    const double e1[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double e2[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    EXPECT_NEAR(m.TriangleArea(t), 0.5 * length, 1e-4 * length);
    const Vector centroid = m.Centroid();  // corners, not vertices: vertex 3 does not count
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(m.FaceNormal(t)[k], n[k] / length, 1e-4);
      EXPECT_NEAR(centroid[k], (double(a.Position()[k]) + b.Position()[k] + c.Position()[k]) / 3.0, 1e-5);
    }
    for (int corner = 0; corner < 3; ++corner) {
      const auto e = ExpectedColour(m.vertices[corner], s);
      for (int k = 0; k < 3; ++k) ASSERT_NEAR(tri.colours[corner][k], e[k], 2e-6);
      ASSERT_TRUE(tri.texCoords[corner][0] == tri.colours[corner][0] && tri.texCoords[corner][1] == tri.colours[corner][1] &&
                  m.CornerNormal(t, corner) == m.FaceNormal(t));
    }
  }
}

}  // namespace
