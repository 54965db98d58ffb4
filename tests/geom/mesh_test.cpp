// The mesh record: triangle de-duplication, corner data, the texture mapping
// of AddTriangleWithAttributes, Centroid, Transform, copying; the octree record.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "geom/mesh.h"
#include "geom/octree.h"
#include "geom_test_util.h"
#include "math/matrix4.h"

namespace {

using geomtest::ErrorCapture;

// The duplicate rule as first stated: a linear search from index 0 for the
// same ordered triple.
int64_t LinearFind(const Mesh& mesh, uint32_t a, uint32_t b, uint32_t c) {
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    const uint32_t* i = mesh.triangles[t].indices;
    if (i[0] == a && i[1] == b && i[2] == c) return static_cast<int64_t>(t);
  }
  return -1;
}

TEST(MeshAddTriangle, SameOrderedTripleIsOneTriangleRotationIsAnother) {
  Mesh mesh;
  for (int i = 0; i < 4; ++i) mesh.AddVertex(Vertex(float(i), 0.0f, 0.0f));
  EXPECT_EQ(mesh.AddTriangle(0, 1, 2), 0u);
  EXPECT_EQ(mesh.AddTriangle(0, 1, 3), 1u);
  EXPECT_EQ(mesh.AddTriangle(0, 1, 2), 0u);
  EXPECT_EQ(mesh.TriangleCount(), 2u);
  EXPECT_EQ(mesh.AddTriangle(1, 2, 0), 2u);  // a rotation is not the same triple
  EXPECT_EQ(mesh.AddTriangle(2, 1, 0), 3u);
  EXPECT_EQ(mesh.TriangleCount(), 4u);
  // New triangles carry only their indices.
  const Triangle& t = mesh.triangles[3];
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(t.normals[c][k], 0.0f);
      EXPECT_EQ(t.colours[c][k], 0.0f);
    }
  for (uint32_t w : t.reserved) EXPECT_EQ(w, 0u);
}

// Random AddTriangle calls mixed with copies, moves, direct appends and
// truncations of the public array, checked against the linear-search rule.
TEST(MeshAddTriangle, MatchesLinearSearchUnderEveryKindOfChange) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<uint32_t> index(0, 5);  // small range: many repeats
    std::uniform_int_distribution<int> op(0, 99);
    Mesh mesh;
    for (int step = 0; step < 600; ++step) {
      const int o = op(rng);
      const uint32_t a = index(rng), b = index(rng), c = index(rng);
      if (o < 80) {
        const int64_t expected = LinearFind(mesh, a, b, c);
        const size_t before = mesh.triangles.size();
        const uint32_t got = mesh.AddTriangle(a, b, c);
        if (expected >= 0) {
          ASSERT_EQ(got, static_cast<uint32_t>(expected)) << "seed " << seed << " step " << step;
          ASSERT_EQ(mesh.triangles.size(), before);
        } else {
          ASSERT_EQ(got, before);
          ASSERT_EQ(mesh.triangles.size(), before + 1);
        }
      } else if (o < 85) {
        Mesh copy = mesh;  // the copy must answer like the original
        mesh = copy;
      } else if (o < 88) {
        Mesh moved = std::move(mesh);
        mesh = std::move(moved);
      } else if (o < 93) {
        Triangle t;  // bypasses AddTriangle, may even create a duplicate
        t.indices[0] = a;
        t.indices[1] = b;
        t.indices[2] = c;
        mesh.triangles.push_back(t);
      } else if (o < 96) {
        mesh.triangles.resize(mesh.triangles.size() / 2);
      } else if (!mesh.triangles.empty()) {
        mesh.triangles[0].indices[0] = a;  // rewritten in place, then reindexed
        mesh.ReindexTriangles();
      }
    }
  }
}

TEST(MeshAccessors, CornerDataReadsWhatWasWritten) {
  Mesh mesh;
  mesh.AddVertex(Vertex(0, 0, 0));
  mesh.AddVertex(Vertex(2, 0, 0));
  mesh.AddVertex(Vertex(0, 3, 0));
  const uint32_t t = mesh.AddTriangle(0, 1, 2);
  mesh.SetCornerNormal(t, 1, 1.0f, 2.0f, 3.0f);
  mesh.SetCornerColour(t, 2, 0.25f, 0.5f, 0.75f);
  mesh.SetCornerTexCoord(t, 0, 0.125f, 0.875f);
  EXPECT_EQ(mesh.CornerNormal(t, 1), Vector(1, 2, 3, 0));
  EXPECT_EQ(mesh.CornerColour(t, 2), Vector(0.25f, 0.5f, 0.75f, 0));
  EXPECT_EQ(mesh.CornerTexCoord(t, 0), Vector(0.125f, 0.875f, 0, 0));
  EXPECT_EQ(mesh.CornerPosition(t, 2), Vector(0, 3, 0, 0));
  EXPECT_EQ(mesh.FaceNormal(t), Vector(0, 0, 1, 0));
  EXPECT_FLOAT_EQ(mesh.TriangleArea(t), 3.0f);

  mesh.NormalizeCornerNormals();
  const Vector n = mesh.CornerNormal(t, 1);
  EXPECT_NEAR(Length(n), 1.0f, 1e-6f);
  EXPECT_NEAR(n.y / n.x, 2.0f, 1e-5f);

  const Vertex v(1, 2, 3);  // a vertex from a position alone: all else zero
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(v.intAttributes[i], 0);
    EXPECT_EQ(v.floatAttributes[i], 0.0f);
  }
  EXPECT_EQ(v.reserved, 0u);
  EXPECT_EQ(v.Position(), Vector(1, 2, 3, 0));
}

// Expected colour of a corner by the mapping rule, with the rotation written
// out by hand: -0.1 rad about x takes (a, b, c) to
// (a, b cos 0.1 + c sin 0.1, -b sin 0.1 + c cos 0.1).
std::array<float, 3> ExpectedColour(const Vertex& v, float sx, float sy, float sz) {
  const float a = v.x / (2 * sx), b = v.z / (2 * sz), c = v.y / (2 * sy);
  const float cs = std::cos(0.1f), sn = std::sin(0.1f);
  std::array<float, 3> r = {a, b * cs + c * sn, -b * sn + c * cs};
  for (float& x : r) x = std::min(1.0f, std::max(0.0f, x + 0.5f));
  return r;
}

TEST(MeshAttributes, TextureMappingColoursAndFlatNormals) {
  Mesh mesh;
  const float sx = 2.0f, sy = 3.0f, sz = 4.0f;
  mesh.AddVertex(Vertex(0, 0, 0));        // the centre maps to (0.5, 0.5, 0.5)
  mesh.AddVertex(Vertex(0, 0, 0.5f * sz));  // a = (0, 0.25, 0): only rotation moves it
  mesh.AddVertex(Vertex(3 * sx, -5 * sy, -5 * sz));  // far outside: clamped to (1, 0, 0)
  mesh.AddVertex(Vertex(sx, sy, sz));
  const uint32_t t = mesh.AddTriangleWithAttributes(0, 1, 2, sx, sy, sz);
  const Triangle& tri = mesh.triangles[t];

  EXPECT_NEAR(tri.colours[0][0], 0.5f, 1e-6f);
  EXPECT_NEAR(tri.colours[0][1], 0.5f, 1e-6f);
  EXPECT_NEAR(tri.colours[0][2], 0.5f, 1e-6f);
  EXPECT_NEAR(tri.colours[1][0], 0.5f, 1e-6f);
  EXPECT_NEAR(tri.colours[1][1], 0.5f + 0.25f * std::cos(0.1f), 1e-6f);
  EXPECT_NEAR(tri.colours[1][2], 0.5f - 0.25f * std::sin(0.1f), 1e-6f);
  EXPECT_EQ(tri.colours[2][0], 1.0f);
  EXPECT_EQ(tri.colours[2][1], 0.0f);
  EXPECT_EQ(tri.colours[2][2], 0.0f);
  const Vector n = mesh.FaceNormal(t);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(tri.texCoords[c][0], tri.colours[c][0]);
    EXPECT_EQ(tri.texCoords[c][1], tri.colours[c][1]);
    EXPECT_EQ(mesh.CornerNormal(t, c), n);
  }

  // A random corner set against the rule.
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-6.0f, 6.0f);
  for (int i = 0; i < 200; ++i) {
    Mesh m;
    for (int k = 0; k < 3; ++k) m.AddVertex(Vertex(u(rng), u(rng), u(rng)));
    const float s[3] = {std::abs(u(rng)) + 0.5f, std::abs(u(rng)) + 0.5f, std::abs(u(rng)) + 0.5f};
    const uint32_t tt = m.AddTriangleWithAttributes(0, 1, 2, s[0], s[1], s[2]);
    for (int c = 0; c < 3; ++c) {
      const auto e = ExpectedColour(m.vertices[c], s[0], s[1], s[2]);
      for (int k = 0; k < 3; ++k) ASSERT_NEAR(m.triangles[tt].colours[c][k], e[k], 2e-6f);
    }
  }
}

TEST(MeshCentroid, MeanOfCornersCountingSharedVerticesPerUse) {
  Mesh one;
  one.AddVertex(Vertex(1, 2, 3));
  one.AddVertex(Vertex(4, -2, 0));
  one.AddVertex(Vertex(-2, 3, 6));
  one.AddTriangle(0, 1, 2);
  const Vector c = one.Centroid();
  EXPECT_NEAR(c.x, 1.0f, 1e-6f);
  EXPECT_NEAR(c.y, 1.0f, 1e-6f);
  EXPECT_NEAR(c.z, 3.0f, 1e-6f);
  EXPECT_EQ(c.w, 0.0f);

  // Vertex 0 is used twice, the unused vertex 4 not at all.
  Mesh two = one;
  two.AddVertex(Vertex(0, 0, 9));
  two.AddVertex(Vertex(100, 100, 100));
  two.AddTriangle(0, 2, 3);
  const Vector d = two.Centroid();
  EXPECT_NEAR(d.x, (1 + 4 - 2 + 1 - 2 + 0) / 6.0f, 1e-6f);
  EXPECT_NEAR(d.y, (2 - 2 + 3 + 2 + 3 + 0) / 6.0f, 1e-6f);
  EXPECT_NEAR(d.z, (3 + 0 + 6 + 3 + 6 + 9) / 6.0f, 1e-6f);
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
  EXPECT_FLOAT_EQ(mesh.vertices[0].x, expected.x);
  EXPECT_FLOAT_EQ(mesh.vertices[0].y, expected.y);
  EXPECT_FLOAT_EQ(mesh.vertices[0].z, expected.z);
  EXPECT_EQ(mesh.vertices[0].intAttributes[2], 7);
  EXPECT_EQ(mesh.vertices[0].floatAttributes[1], 0.5f);
  EXPECT_EQ(mesh.vertices[0].reserved, 9u);
}

TEST(MeshCopy, IsDeepAndCarriesEveryField) {
  auto source = std::make_unique<Mesh>();
  source->AddVertex(Vertex(1, 2, 3));
  source->AddVertex(Vertex(4, 5, 6));
  source->AddVertex(Vertex(7, 8, 10));
  source->AddTriangleWithAttributes(0, 1, 2, 1, 1, 1);
  // Every field away from its default.
  source->name = "Box";
  source->useTexCoords = false;
  source->useColours = false;
  source->extraFlag0 = false;
  source->extraFlag1 = true;
  source->extraWord = 3;
  source->extraVectors[1] = Vector(1, 2, 3, 4);
  source->extraFloat = 2.5f;
  source->buffersCreated = true;
  source->bufferIds[2] = 17;
  source->extraFlag2 = true;
  source->wordArray0[0] = 42;
  source->wordArray1[0] = 43;
  source->extraFlag3 = true;
  source->extraWords[0] = 4;
  source->extraWords[1] = 5;
  source->triangles[0].reserved[7] = 99;

  Mesh assigned;
  assigned.AddVertex(Vertex(9, 9, 9));
  assigned = *source;
  Mesh copy = *source;
  EXPECT_NE(copy.wordArray0.data(), source->wordArray0.data());
  EXPECT_NE(copy.triangles.data(), source->triangles.data());
  source.reset();  // destroying the source leaves the copies intact
  for (const Mesh* m : {&copy, &assigned}) {
    EXPECT_TRUE(!m->useTexCoords && m->extraFlag1 && m->extraWord == 3 && m->extraFloat == 2.5f);
    EXPECT_TRUE(m->buffersCreated && m->extraFlag2 && m->extraFlag3 && m->extraWords[0] == 4);
    EXPECT_EQ(m->wordArray1, std::vector<uint32_t>{43});
    EXPECT_EQ(m->VertexCount(), 3u);
  }
  ASSERT_EQ(copy.VertexCount(), 3u);
  ASSERT_EQ(copy.TriangleCount(), 1u);
  EXPECT_EQ(copy.vertices[2].z, 10.0f);
  EXPECT_EQ(copy.triangles[0].reserved[7], 99u);
  EXPECT_EQ(copy.name, "Box");
  EXPECT_FALSE(copy.useColours);
  EXPECT_FALSE(copy.extraFlag0);
  EXPECT_EQ(copy.extraVectors[1], Vector(1, 2, 3, 4));
  EXPECT_EQ(copy.bufferIds[2], 17u);
  ASSERT_EQ(copy.wordArray0.size(), 1u);
  EXPECT_EQ(copy.wordArray0[0], 42u);
  EXPECT_EQ(copy.extraWords[1], 5u);
  EXPECT_EQ(copy.AddTriangle(0, 1, 2), 0u);  // the copy still knows its triangles
  EXPECT_EQ(copy.TriangleCount(), 1u);

  const Mesh fresh;  // defaults of a new mesh
  EXPECT_TRUE(fresh.useTexCoords && fresh.useColours && fresh.extraFlag0);
  EXPECT_FALSE(fresh.extraFlag1 || fresh.buffersCreated || fresh.extraFlag2 || fresh.extraFlag3);
  EXPECT_EQ(fresh.wordArray0.size(), 1u);
  EXPECT_EQ(fresh.wordArray1.size(), 1u);
}

TEST(Octree, InitMakesOneEmptyRootAndASecondInitReports) {
  Octree tree;
  BoundingBox box;
  box.center = Vector(1, 2, 3);
  box.halfExtents = Vector(4, 5, 6);
  tree.Init(box);
  ASSERT_EQ(tree.nodes.size(), 1u);
  EXPECT_EQ(tree.nodes[0].center, box.center);
  EXPECT_EQ(tree.nodes[0].halfExtents, box.halfExtents);
  EXPECT_TRUE(tree.nodes[0].items.empty());
  for (int32_t child : tree.nodes[0].children) EXPECT_EQ(child, -1);

  tree.nodes[0].items.push_back(12);
  const Octree copy = tree;  // node by node, item lists included
  ASSERT_EQ(copy.nodes.size(), 1u);
  EXPECT_EQ(copy.nodes[0].items, std::vector<uint32_t>{12});

  ErrorCapture capture;
  BoundingBox other;
  other.center = Vector(-1, -1, -1);
  tree.Init(other);
  EXPECT_TRUE(capture.Logged("assert failed!"));
  ASSERT_EQ(tree.nodes.size(), 2u);
  EXPECT_EQ(tree.nodes[0].center, box.center);  // the root keeps its box
  EXPECT_EQ(tree.nodes[1].center, other.center);
}

}  // namespace
