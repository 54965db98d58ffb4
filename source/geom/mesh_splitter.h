#pragma once
// The mesh splitter: cuts a mesh by a plane into a front mesh (the side the
// plane normal points to) and a back mesh. Whole source vertices are copied;
// each crossing edge gets exactly one new vertex, shared by both halves and
// by every triangle around that edge; the vertices that lie on the cut are
// recorded, with the triangles that may use them, so that CloseCut
// (close_cut.h, included below) can find the openings. The splitter neither closes the cut nor computes shading data for
// the triangles it creates: they carry only their indices.
//
// Vertex sides use d = n . (p - q) with an on-plane tolerance e (mesh
// units; 0.01 for the built-in solids, see OnPlaneTolerance): front when
// d > e, back when d < -e, on the plane otherwise. A
// triangle with all three vertices on the plane lies in the cut face and goes
// whole to the half whose surface it is: the back when its outward normal
// points along n, the front otherwise; its vertices enter that half's cut set.
// A side with no vertex strictly on it gets no such triangle (so a mesh lying
// wholly within the tolerance goes to the front).

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "geom/cut_edge_map.h"
#include "geom/index_pair.h"
#include "geom/mesh.h"
#include "geom/octree.h"
#include "geom/vertex_index_set.h"
#include "math/plane.h"
#include "math/vector.h"

// Source vertex index -> index in one half. A dense array indexed by source
// vertex (a hash map with the identity hash): every source vertex is looked
// up several times per split, and an array lookup is the cheapest there is.
class VertexIndexMap {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  // Number of source vertices mapped.
  size_t size() const { return mapped; }
  bool empty() const { return mapped == 0; }
  size_t count(uint32_t source) const { return Get(source) != kNone ? 1 : 0; }
  // The half's index for `source`, or kNone.
  uint32_t Get(uint32_t source) const { return source < slots.size() ? slots[source] : kNone; }
  // Maps `source` (not yet mapped) to `index`.
  void Set(uint32_t source, uint32_t index) {
    if (source >= slots.size()) slots.resize(static_cast<size_t>(source) + 1, kNone);
    slots[source] = index;
    ++mapped;
  }
  // Makes room for source vertices [0, n) so Set never reallocates.
  void Reserve(size_t n) {
    if (n > slots.size()) slots.resize(n, kNone);
  }
  void clear() {
    slots.clear();
    mapped = 0;
  }

 private:
  std::vector<uint32_t> slots;
  size_t mapped = 0;
};

struct SplitContext {
  VertexIndexMap frontVertexMap;  // source vertex -> front vertex
  VertexIndexMap backVertexMap;   // source vertex -> back vertex
  // (smaller source index, larger source index) of a crossing edge ->
  // (front index, back index) of the vertex made on it.
  CutEdgeMap cutEdgeMap;
  VertexIndexSet frontCutSet;     // front vertices on the cut
  VertexIndexSet backCutSet;      // back vertices on the cut
  Octree frontOctree;             // initialised by the caller, not touched here
  Octree backOctree;
};

// On-plane tolerance of the built-in solids, in mesh units.
constexpr float kSolidOnPlane = 0.01f;
// On-plane tolerance of a loaded model, relative to its bounding-box
// diagonal: a few units in the last place of its coordinates, so a cut of
// the same model gives the same parts in whatever units it is drawn.
constexpr float kModelOnPlane = 16.0f * FLT_EPSILON;

// The tolerance for cutting `mesh`: kSolidOnPlane for a built-in solid,
// kModelOnPlane times the diagonal of its bounding box for a loaded model.
float OnPlaneTolerance(const Mesh& mesh);

// Cuts `source` by `plane` with on-plane tolerance `onPlane`, appending to
// `front` and `back` (normally new, empty meshes) and filling `context`
// (normally empty). A source triangle whose indices collapse to fewer than
// three distinct vertices writes "Splitting triangle N produced no valid
// triangles." to standard output and yields nothing.
void SplitMesh(const Mesh& source, const Plane& plane, Mesh& front, Mesh& back,
               SplitContext& context, float onPlane = kSolidOnPlane);

// The point where the segment from A (the back-side vertex) to B (the
// front-side vertex) crosses the plane. Asserts n . (B - A) != 0 and
// -1e-8 < t < 1 for the segment parameter t, reporting "assert failed!" and
// going on with the computed value when one fails.
Vector Intersect(const Vector& a, const Vector& b, const Plane& plane);

#include "geom/close_cut.h"
