// Connected parts against the pieces a mesh was assembled from.

#include "geom/connected_parts.h"

#include <gtest/gtest.h>

#include "geom/mesh_builders.h"

namespace {

// Two boxes interleaved triangle by triangle, the second box's vertices
// stored first and an unused vertex before both: the parts come back in
// order of first triangle, corner for corner the boxes they were, and a
// vertex shared by two boxes joins them into one part, even as the last
// corner of a triangle. A triangle with an index out of range is left out.
// Parts know their triangles distinct exactly when the whole mesh does.
TEST(ConnectedParts, RecoversInterleavedPiecesAndJoinsAtSharedVertices) {
  const Mesh a = BuildBox(1, 1, 1, 2, 2, 2);
  Mesh b = a;
  b.Transform(Matrix4::Translation(Vector(5, 0, 0)));
  Mesh both;
  both.AddVertex(Vertex(9, 9, 9));
  for (const Vertex& v : b.vertices) both.AddVertex(v);
  for (const Vertex& v : a.vertices) both.AddVertex(v);
  for (uint32_t t = 0; t < a.TriangleCount(); ++t)
    for (const Mesh* m : {&a, &static_cast<const Mesh&>(b)}) {
      Triangle copy = m->triangles[t];
      for (uint32_t& i : copy.indices) i += m == &a ? 1 + b.VertexCount() : 1;
      both.triangles.push_back(copy);
    }
  both.triangles.emplace_back().indices[1] = both.VertexCount();  // out of range: left out
  for (const bool known : {false, true}) {
    if (known) both.ReindexTriangles();  // finds no repeat
    ASSERT_EQ(both.KnownDistinct(), known);
    const std::vector<Mesh> parts = SplitIntoConnectedParts(both);
    ASSERT_EQ(parts.size(), 2u);
    for (size_t p = 0; p < 2; ++p) {
      const Mesh& expected = p == 0 ? a : b;
      EXPECT_EQ(parts[p].KnownDistinct(), known);
      ASSERT_EQ(parts[p].VertexCount(), expected.VertexCount());
      ASSERT_EQ(parts[p].TriangleCount(), expected.TriangleCount());
      for (uint32_t t = 0; t < expected.TriangleCount(); ++t)
        for (int c = 0; c < 3; ++c) {
          const Vector d = parts[p].CornerPosition(t, c) - expected.CornerPosition(t, c);
          EXPECT_EQ(Dot3(d, d), 0.0f);
          EXPECT_EQ(parts[p].CornerNormal(t, c).y, expected.CornerNormal(t, c).y);
        }
    }
  }
  both.triangles.push_back(both.triangles[2]);  // a repeat
  both.ReindexTriangles();
  EXPECT_FALSE(SplitIntoConnectedParts(both)[0].KnownDistinct());
  both.triangles[1].indices[2] = both.triangles[0].indices[0];  // b's first triangle touches a, at its third corner
  EXPECT_EQ(SplitIntoConnectedParts(both).size(), 1u);
}

}  // namespace
