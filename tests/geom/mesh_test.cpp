// The mesh record: triangle de-duplication, the texture mapping of
// AddTriangleWithAttributes, face geometry, Centroid, Transform, deep copies;
// the octree record.

#include "geom/mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "geom/octree.h"
#include "geom_test_util.h"
#include "math/matrix4.h"

namespace {

using geomtest::ErrorCapture;

// AddTriangle against the rule as first stated (a linear search from index 0
// for the same ordered triple), under every kind of change to the public
// array that the hash index kept beside it must survive. The small index
// range makes repeats and rotations (which are different triangles) common.
TEST(MeshAddTriangle, MatchesLinearSearchUnderEveryKindOfChange) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<uint32_t> index(0, 5);
    std::uniform_int_distribution<int> op(0, 99);
    Mesh mesh;
    for (int step = 0; step < 600; ++step) {
      const int o = op(rng);
      Triangle t;
      for (uint32_t& i : t.indices) i = index(rng);
      if (o < 80) {
        int64_t expected = -1;
        for (size_t k = 0; k < mesh.triangles.size() && expected < 0; ++k)
          if (std::equal(t.indices, t.indices + 3, mesh.triangles[k].indices))
            expected = int64_t(k);
        const size_t before = mesh.triangles.size();
        const uint32_t got = mesh.AddTriangle(t.indices[0], t.indices[1], t.indices[2]);
        ASSERT_EQ(got, expected >= 0 ? uint32_t(expected) : before)
            << "seed " << seed << " step " << step;
        ASSERT_EQ(mesh.triangles.size(), before + (expected < 0 ? 1 : 0));
      } else if (o < 85) {
        Mesh copy = mesh;  // the copy must answer like the original
        mesh = copy;
      } else if (o < 93) {
        mesh.triangles.push_back(t);  // bypasses AddTriangle, may even add a duplicate
      } else if (o < 96) {
        mesh.triangles.resize(mesh.triangles.size() / 2);
      } else if (!mesh.triangles.empty()) {
        mesh.triangles[0].indices[0] = t.indices[0];  // rewritten in place, then reindexed
        mesh.ReindexTriangles();
      }
    }
  }
}

TEST(MeshGeometry, FaceNormalAreaNormalizedNormalsAndCentroidPerUse) {
  Mesh m;
  for (const Vertex& v :
       {Vertex(0, 0, 0), Vertex(2, 0, 0), Vertex(0, 3, 0), Vertex(0, 0, 9), Vertex(100, 100, 100)})
    m.AddVertex(v);
  m.AddTriangle(0, 1, 2);
  m.AddTriangle(0, 2, 3);
  EXPECT_EQ(m.FaceNormal(0), Vector(0, 0, 1, 0));
  EXPECT_EQ(m.FaceNormal(1), Vector(1, 0, 0, 0));
  EXPECT_FLOAT_EQ(m.TriangleArea(0), 3.0f);
  EXPECT_FLOAT_EQ(m.TriangleArea(1), 13.5f);
  // Corners, not vertices, are averaged: vertices 0 and 2 count twice, the
  // unused vertex 4 not at all.
  const Vector c = m.Centroid();
  EXPECT_NEAR(c.x, 2 / 6.0f, 1e-6f);
  EXPECT_NEAR(c.y, 6 / 6.0f, 1e-6f);
  EXPECT_NEAR(c.z, 9 / 6.0f, 1e-6f);
  EXPECT_EQ(c.w, 0.0f);

  m.SetCornerNormal(0, 1, 1.0f, 2.0f, 3.0f);
  m.NormalizeCornerNormals();
  const Vector n = m.CornerNormal(0, 1);
  EXPECT_NEAR(Length(n), 1.0f, 1e-6f);
  EXPECT_NEAR(n.y / n.x, 2.0f, 1e-5f);
  EXPECT_NEAR(n.z / n.x, 3.0f, 1e-5f);
}

// Expected colour of a corner by the mapping rule, with the rotation written
// out by hand: -0.1 rad about x takes (a, b, c) to
// (a, b cos 0.1 + c sin 0.1, -b sin 0.1 + c cos 0.1).
std::array<float, 3> ExpectedColour(const Vertex& v, const float s[3]) {
  const float a = v.x / (2 * s[0]), b = v.z / (2 * s[2]), c = v.y / (2 * s[1]);
  const float cs = std::cos(0.1f), sn = std::sin(0.1f);
  std::array<float, 3> r = {a, b * cs + c * sn, -b * sn + c * cs};
  for (float& x : r) x = std::min(1.0f, std::max(0.0f, x + 0.5f));
  return r;
}

// Random corners, many far enough out to be clamped, against the rule; the
// texture coordinate is the colour's first two channels and every corner
// normal is the flat face normal.
TEST(MeshAttributes, TextureMappingColoursAndFlatNormals) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-6.0f, 6.0f);
  for (int i = 0; i < 200; ++i) {
    Mesh m;
    for (int k = 0; k < 3; ++k) m.AddVertex(Vertex(u(rng), u(rng), u(rng)));
    const float s[3] = {std::abs(u(rng)) + 0.5f, std::abs(u(rng)) + 0.5f, std::abs(u(rng)) + 0.5f};
    const uint32_t t = m.AddTriangleWithAttributes(0, 1, 2, s[0], s[1], s[2]);
    const Triangle& tri = m.triangles[t];
    for (int c = 0; c < 3; ++c) {
      const auto e = ExpectedColour(m.vertices[c], s);
      for (int k = 0; k < 3; ++k) ASSERT_NEAR(tri.colours[c][k], e[k], 2e-6f);
      ASSERT_EQ(tri.texCoords[c][0], tri.colours[c][0]);
      ASSERT_EQ(tri.texCoords[c][1], tri.colours[c][1]);
      ASSERT_EQ(m.CornerNormal(t, c), m.FaceNormal(t));
    }
  }
}

TEST(MeshTransform, MovesPositionsKeepsOtherWords) {
  Mesh mesh;
  Vertex v(1, 2, 3);
  v.intAttributes[2] = 7;
  v.floatAttributes[1] = 0.5f;
  v.reserved = 9;
  mesh.AddVertex(v);
  const Matrix4 m = Matrix4::Translation(Vector(10, 20, 30)) * Matrix4::Rotation(0.3f, -0.2f, 1.1f);
  mesh.Transform(m);
  const Vector expected = m * Vector(1, 2, 3, 1);
  const Vertex& w = mesh.vertices[0];
  EXPECT_FLOAT_EQ(w.x, expected.x);
  EXPECT_FLOAT_EQ(w.y, expected.y);
  EXPECT_FLOAT_EQ(w.z, expected.z);
  EXPECT_TRUE(w.intAttributes[2] == 7 && w.floatAttributes[1] == 0.5f && w.reserved == 9u);
}

// The copy constructor and assignment are hand-written (the triangle index is
// rebuilt, not copied), so every field is checked away from its default.
TEST(MeshCopy, IsDeepAndCarriesEveryField) {
  auto source = std::make_unique<Mesh>();
  source->AddVertex(Vertex(1, 2, 3));
  source->AddVertex(Vertex(4, 5, 6));
  source->AddVertex(Vertex(7, 8, 10));
  source->AddTriangleWithAttributes(0, 1, 2, 1, 1, 1);
  source->triangles[0].reserved[7] = 99;
  source->name = "Box";
  source->useTexCoords = source->useColours = source->extraFlag0 = false;
  source->extraFlag1 = source->buffersCreated = source->extraFlag2 = source->extraFlag3 = true;
  source->extraWord = 3;
  source->extraVectors[1] = Vector(1, 2, 3, 4);
  source->extraFloat = 2.5f;
  source->bufferIds[2] = 17;
  source->wordArray0[0] = 42;
  source->wordArray1[0] = 43;
  source->extraWords[0] = 4;
  source->extraWords[1] = 5;

  Mesh assigned;
  assigned.AddVertex(Vertex(9, 9, 9));
  assigned = *source;
  Mesh copy = *source;
  EXPECT_NE(copy.wordArray0.data(), source->wordArray0.data());
  EXPECT_NE(copy.triangles.data(), source->triangles.data());
  source.reset();  // destroying the source leaves the copies intact
  for (Mesh* m : {&copy, &assigned}) {
    ASSERT_EQ(m->VertexCount(), 3u);
    ASSERT_EQ(m->TriangleCount(), 1u);
    EXPECT_EQ(m->vertices[2].z, 10.0f);
    EXPECT_EQ(m->triangles[0].reserved[7], 99u);
    EXPECT_EQ(m->name, "Box");
    EXPECT_TRUE(!m->useTexCoords && !m->useColours && !m->extraFlag0);
    EXPECT_TRUE(m->extraFlag1 && m->extraFlag2 && m->extraFlag3);
    EXPECT_TRUE(m->extraWord == 3 && m->extraFloat == 2.5f);
    // The GPU buffers stay with the source: a copy starts without any.
    EXPECT_TRUE(!m->buffersCreated && m->bufferIds[2] == 0u);
    EXPECT_EQ(m->extraVectors[1], Vector(1, 2, 3, 4));
    EXPECT_EQ(m->wordArray0, std::vector<uint32_t>{42});
    EXPECT_EQ(m->wordArray1, std::vector<uint32_t>{43});
    EXPECT_TRUE(m->extraWords[0] == 4 && m->extraWords[1] == 5);
    EXPECT_EQ(m->AddTriangle(0, 1, 2), 0u);  // the copy still knows its triangles
    EXPECT_EQ(m->TriangleCount(), 1u);
  }
}

TEST(Octree, InitMakesOneEmptyRootAndASecondInitReports) {
  Octree tree;
  BoundingBox box, other;
  box.center = Vector(1, 2, 3);
  box.halfExtents = Vector(4, 5, 6);
  other.center = Vector(-1, -1, -1);
  tree.Init(box);
  ASSERT_EQ(tree.nodes.size(), 1u);
  EXPECT_EQ(tree.nodes[0].center, box.center);
  EXPECT_EQ(tree.nodes[0].halfExtents, box.halfExtents);
  EXPECT_TRUE(tree.nodes[0].items.empty());
  for (int32_t child : tree.nodes[0].children) EXPECT_EQ(child, -1);

  ErrorCapture capture;
  tree.Init(other);
  EXPECT_TRUE(capture.Logged("assert failed!"));
  ASSERT_EQ(tree.nodes.size(), 2u);
  EXPECT_EQ(tree.nodes[0].center, box.center);  // the root keeps its box
  EXPECT_EQ(tree.nodes[1].center, other.center);
}

}  // namespace
