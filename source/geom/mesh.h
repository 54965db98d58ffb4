#pragma once
// Mesh: the indexed triangle mesh every visible, collidable object carries.
//
// Shading data lives in the triangles, per corner, so one vertex may carry a
// different normal, colour and texture coordinate in each triangle that uses
// it. All triangles of a mesh are wound the same way: (p1 - p0) x (p2 - p0)
// points out of the solid.
//
// Vertices and triangles are stored contiguously by value so the drawer, the
// GPU stream builder and the splitter walk them in order.
//
// Triangle de-duplication: AddTriangle returns the index of an existing
// triangle with the same ordered index triple instead of adding a second one.
// A hash index of the ordered triples is kept beside the triangle array so
// that this costs O(1) expected per call instead of a linear search.
// Add triangles through AddTriangle (or AddTriangleWithAttributes). Code that
// appends to or truncates `triangles` directly is tolerated (the index notices
// the changed count and is rebuilt on the next AddTriangle); code that rewrites
// the indices of existing triangles in place must call ReindexTriangles().
// Code that knows a triangle is new (the splitter copying the triangles of a
// mesh known to hold no two equal triples) may append it through
// AppendNewTriangle, which skips the lookup and defers indexing it until a
// lookup could find it.

#include <cstdint>
#include <string>
#include <vector>

#include "geom/streaming_store.h"
#include "math/matrix4.h"
#include "math/vector.h"

// Twelve 32-bit words: position, four integer and four float attributes (GPU
// attribute streams only), one reserved word. A vertex made from a position
// alone has every other word zero.
struct Vertex {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  int32_t intAttributes[4] = {0, 0, 0, 0};
  float floatAttributes[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  uint32_t reserved = 0;

  Vertex() = default;
  Vertex(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  // The position as a Vector with w = 0.
  Vector Position() const { return Vector(x, y, z, 0.0f); }
};
static_assert(sizeof(Vertex) == 12 * 4, "Vertex is twelve 32-bit words");

// Forty-five 32-bit words: indices, then per-corner normal, colour (RGB in
// [0, 1]) and texture coordinate, then reserved words that are only copied.
struct Triangle {
  uint32_t indices[3];
  float normals[3][3];
  float colours[3][3];
  float texCoords[3][2];
  uint32_t reserved[18];

  // Every field zero.
  constexpr Triangle() : indices{}, normals{}, colours{}, texCoords{}, reserved{} {}
  // Every field left unset, for a record about to be written whole by other
  // means (see Mesh::AddTriangleStreamed).
  struct Unset {};
  explicit Triangle(Unset) {}
};
static_assert(sizeof(Triangle) == 45 * 4, "Triangle is forty-five 32-bit words");

// Asks for the index words of triangle record `t` ahead of their use. The
// records are 180 bytes long, so in one record out of eight the three index
// words straddle two cache lines; both are asked for, since a scan that
// waits on memory for one record in eight loses most of what asking early
// gains.
inline void PrefetchIndices(const Triangle* t) {
  __builtin_prefetch(&t->indices[0]);
  __builtin_prefetch(&t->indices[2]);
}

// Open-addressing hash index (linear probing) from an ordered index triple to
// the first triangle holding it. A slot holds a triangle index plus one in
// its low word (0 = empty) and 32 bits of a hash of the triple in its high
// word; a probe compares the triple with that triangle's indices only when
// the hash bits match, so passing other triangles' slots reads no triangle.
//
// The home slot is not scattered over the whole table: it is the first
// index's own stretch of the table (four slots per vertex number) plus an
// offset of up to 64 slots taken from a hash of the other two. Builders, the
// splitter and the cap fans add triangles in roughly increasing order of
// their first index and probe triangles added shortly before, so the table
// and the triangles it points to are read like arrays instead of missing the
// cache on every call; the offset keeps a vertex that starts many triangles
// (the centre of a fan) from piling them onto one slot.
//
// Triangles known to be new may be recorded without a lookup (InsertNew):
// they are not put in the table, only their corners are marked in a bit per
// vertex number. A triple can equal such a triangle only if all three of its
// corners are marked, so a lookup needs the table completed (rebuilt) only
// then. The splitter copies the bulk of a half this way, and the triangles
// added after it (the fans at the cut, the caps) each have a corner on the
// cut, which no copied triangle has: the halves of a large mesh are made
// without hashing their triangles at all.
//
// The index also knows whether the triangles it covers hold no two equal
// triples: true for any mesh made through AddTriangle alone, which is what
// lets the splitter copy a mesh's triangles as new ones.
//
// Copying a Mesh does not copy the index: a copy starts with an empty index
// that is rebuilt from the triangle array on its first AddTriangle, so meshes
// that are only copied and read (the common case) pay nothing for it. The
// copy keeps the knowledge that its triples are distinct.
class TriangleIndex {
 public:
  // tag | triangle index + 1, 0 = empty. A slot is not cleared when made (the
  // table is cleared in one go), so that a large table costs one memset.
  struct Slot {
    uint64_t bits;
    Slot() {}  // left unset on purpose
  };

  TriangleIndex() = default;
  TriangleIndex(const TriangleIndex&) {}
  TriangleIndex& operator=(const TriangleIndex&) {
    Clear();
    return *this;
  }
  TriangleIndex(TriangleIndex&&) noexcept = default;
  TriangleIndex& operator=(TriangleIndex&&) noexcept = default;
  ~TriangleIndex();

  // Index of the first triangle with (i0, i1, i2) if there is one; otherwise
  // records the triple under `next` (= triangles.size(), which the caller
  // appends at once) and returns -1. The index must be in step.
  int64_t FindOrInsert(const std::vector<Triangle>& triangles, uint32_t i0, uint32_t i1,
                       uint32_t i2, uint32_t next);
  // Records triangle `next` (= triangles.size(), which the caller appends at
  // once) without a lookup. The caller knows that no covered triangle holds
  // (i0, i1, i2). The index must be in step.
  void InsertNew(uint32_t i0, uint32_t i1, uint32_t i2, uint32_t next);
  // True when the index covers exactly the first `count` triangles.
  bool InStep(size_t count) const { return coveredCount == count; }
  // Triangle `t`'s indices were rewritten in place to (i0, i1, i2), a triple
  // no other triangle holds: its corners are marked as InsertNew marks them.
  // The table's entry for its old triple stays, harmless: a probe compares
  // the triangle's own indices, and a regrown table files it anew. The
  // index must be in step.
  void Renamed(uint32_t i0, uint32_t i1, uint32_t i2) {
    Mark(i0);
    Mark(i1);
    Mark(i2);
    anyUnindexed = true;
  }
  // True when the first `count` triangles, and no more, are known to hold
  // pairwise different triples.
  bool KnownDistinct(size_t count) const { return distinctCount == count; }
  // Empties the index; the first `count` triangles are known distinct (a
  // copy of a mesh that knows it).
  void ClearKnowingDistinct(size_t count) {
    Clear();
    distinctCount = count;
  }
  void Rebuild(const std::vector<Triangle>& triangles);
  // Grows the table so that `count` triangles fit without regrowing.
  void Reserve(const std::vector<Triangle>& triangles, size_t count);
  void Clear();

 private:
  static constexpr uint64_t kTagBits = 0xFFFFFFFF00000000ull;
  // Stretch of table per vertex number (as a shift): a mesh has about two
  // triangles per vertex, and four slots per vertex keeps neighbouring
  // vertices' triangles apart at the table's load; where the stretches run
  // past the end of the table they wrap around.
  static constexpr uint32_t kSlotsPerVertexShift = 2;
  // Slots past a home stretch's start to ask for ahead of use: past the
  // 64 that the offset reaches, by two lines of eight slots.
  static constexpr size_t kWindowAhead = 64 + 16;
  // Multiplicative mix of the second and third index.
  static uint64_t Hash(uint32_t i1, uint32_t i2) {
    return (static_cast<uint64_t>(i1) * 0x9E3779B97F4A7C15ull) ^
           (static_cast<uint64_t>(i2) * 0xC2B2AE3D27D4EB4Full);
  }
  // The first index's stretch plus an offset of 0 .. 63 slots (the hash's top
  // six bits).
  size_t Home(uint32_t i0, uint64_t hash) const {
    return ((static_cast<size_t>(i0) << kSlotsPerVertexShift) + static_cast<size_t>(hash >> 58)) &
           (slots.size() - 1);
  }
  // The high word of a slot.
  static uint64_t Tag(uint32_t i0, uint64_t hash) {
    return (hash ^ (static_cast<uint64_t>(i0) * 0xD6E8FEB86659FD93ull)) & kTagBits;
  }

  bool Marked(uint32_t v) const {
    return (v >> 6) < marks.size() && (marks[v >> 6] >> (v & 63) & 1) != 0;
  }
  void Mark(uint32_t v) {
    if ((v >> 6) >= marks.size()) marks.resize((v >> 6) + 1, 0);
    marks[v >> 6] |= uint64_t{1} << (v & 63);
  }
  // Notes that triangle `next` is now covered; a new triple keeps the
  // covered ones distinct.
  void Cover(uint32_t next) {
    if (distinctCount == next) distinctCount = static_cast<size_t>(next) + 1;
    coveredCount = static_cast<size_t>(next) + 1;
  }

  std::vector<Slot> slots;  // size 0 or a power of two
  size_t used = 0;          // occupied slots
  size_t growAt = 0;        // the table grows before `used` goes past this
  // Triangles [0, coveredCount) are in the table or recorded by InsertNew.
  size_t coveredCount = 0;
  // Triangles [0, distinctCount) are known to hold pairwise different triples.
  size_t distinctCount = 0;
  // Bit per vertex number: a corner of a triangle recorded by InsertNew and
  // not in the table.
  std::vector<uint64_t> marks;
  bool anyUnindexed = false;  // some covered triangle is not in the table
};

inline int64_t TriangleIndex::FindOrInsert(const std::vector<Triangle>& triangles, uint32_t i0,
                                           uint32_t i1, uint32_t i2, uint32_t next) {
  // Only a triple with every corner marked can equal an unindexed triangle:
  // put them all in the table first.
  if (anyUnindexed && Marked(i0) && Marked(i1) && Marked(i2)) Rebuild(triangles);
  if (used >= growAt) Reserve(triangles, used + 1);
  const size_t mask = slots.size() - 1;
  // Triangles come in roughly increasing order of first index, so the slots
  // probed lie in a window (the stretch of i0 plus up to 64) that moves
  // forward through the table; the line just ahead of it is asked for now,
  // for a large table that is no longer in cache.
  __builtin_prefetch(&slots[(Home(i0, 0) + kWindowAhead) & mask], 1);
  const uint64_t hash = Hash(i1, i2), tag = Tag(i0, hash);
  for (size_t s = Home(i0, hash);; s = (s + 1) & mask) {
    const uint64_t slot = slots[s].bits;
    if (slot == 0) {
      slots[s].bits = tag | (static_cast<uint64_t>(next) + 1);
      ++used;
      Cover(next);
      return -1;
    }
    if ((slot & kTagBits) != tag) continue;
    const uint32_t t = static_cast<uint32_t>(slot) - 1;
    const uint32_t* idx = triangles[t].indices;
    if (idx[0] == i0 && idx[1] == i1 && idx[2] == i2) return t;
  }
}

inline void TriangleIndex::InsertNew(uint32_t i0, uint32_t i1, uint32_t i2, uint32_t next) {
  Mark(i0);
  Mark(i1);
  Mark(i2);
  anyUnindexed = true;
  Cover(next);
}

// A triangle with every field zero. Copying it compiles to a few wide
// stores, cheaper than a string fill.
inline const Triangle kBlankTriangle{};

// Asks the OS to back the whole 2 MiB pages inside [data, data + bytes) with
// huge pages. Filling a freshly allocated array costs one page fault per
// 4 KiB page otherwise, which for the multi-megabyte arrays of a large mesh
// takes longer than the work done on them. Only advice: a no-op where
// unsupported, and the memory stays ordinary heap memory.
void AdviseHugePages(const void* data, size_t bytes);

class Mesh {
 public:
  std::vector<Vertex> vertices;
  // Add through AddTriangle / AddTriangleWithAttributes (see the file note).
  std::vector<Triangle> triangles;
  std::string name;  // "Box", "Cone", "Sphere"; empty for split pieces
  bool useTexCoords = true;  // the immediate-mode drawer sends texture coordinates
  bool useColours = true;    // the immediate-mode drawer sends colours
  // Made from a model file (and carried to its split pieces): shaded with
  // flat face normals, and its pieces get a Qhull collision hull.
  bool loadedModel = false;
  // Fields below marked "copied only" are carried with the mesh and read by
  // nothing in the engine.
  bool extraFlag0 = true;               // copied only
  bool extraFlag1 = false;              // copied only
  uint32_t extraWord = 0;               // copied only
  Vector extraVectors[3];               // copied only
  float extraFloat = 0.0f;              // copied only
  bool buffersCreated = false;          // the four GPU vertex buffers exist
  // GL buffer names: positions, colours, texture coordinates, normals. Made
  // and deleted by the window side (the mesh never releases them); a copy
  // of the mesh starts without buffers.
  uint32_t bufferIds[4] = {0, 0, 0, 0};
  bool extraFlag2 = false;              // copied only
  // Two owned word arrays (one element each), deep-copied with the mesh.
  std::vector<uint32_t> wordArray0 = std::vector<uint32_t>(1, 0u);
  std::vector<uint32_t> wordArray1 = std::vector<uint32_t>(1, 0u);
  bool extraFlag3 = false;              // copied only
  uint32_t extraWords[2] = {0, 0};      // copied only

  Mesh() = default;
  // Deep copies. The arrays of a copy are allocated at their final size and
  // offered huge pages before they are filled (see AdviseHugePages), which
  // makes copying a large mesh several times faster. Every field above must
  // be copied in CopyFieldsFrom, except the buffer names: the copy (or the
  // mesh assigned to) ends up with none.
  Mesh(const Mesh& other);
  Mesh& operator=(const Mesh& other);
  Mesh(Mesh&&) noexcept = default;
  Mesh& operator=(Mesh&&) noexcept = default;
  // Large arrays (64 KiB and more) of a mesh that goes away are kept,
  // per thread and up to a bound, for the next large arrays a copy or a
  // Reserve call fills: memory written once is reused without the page
  // faults and zeroing of fresh memory. Smaller arrays are simply freed.
  ~Mesh();

  uint32_t VertexCount() const { return static_cast<uint32_t>(vertices.size()); }
  uint32_t TriangleCount() const { return static_cast<uint32_t>(triangles.size()); }

  // Appends a vertex; returns its index.
  uint32_t AddVertex(const Vertex& v);
  // Returns the index of the first triangle with exactly (i0, i1, i2) in this
  // order, adding nothing, if there is one; otherwise appends a triangle with
  // these indices and every other field zero and returns its index.
  uint32_t AddTriangle(uint32_t i0, uint32_t i1, uint32_t i2);
  // AddTriangle for a long run of new triangles in a large mesh, none of
  // which is read again soon (the splitter's halves of a large mesh): the
  // record goes to memory by streaming stores (see streaming_store.h) rather
  // than through the cache. Call StreamFence before another thread reads.
  uint32_t AddTriangleStreamed(uint32_t i0, uint32_t i1, uint32_t i2);
  // Appends a triangle the caller knows no triangle of the mesh holds, as
  // AddTriangle / AddTriangleStreamed would, without looking it up (see
  // TriangleIndex): the splitter's copies of a mesh that is KnownDistinct.
  uint32_t AppendNewTriangle(uint32_t i0, uint32_t i1, uint32_t i2);
  uint32_t AppendNewTriangleStreamed(uint32_t i0, uint32_t i1, uint32_t i2);
  // Appends `triangle` whole (every field), known new as above.
  uint32_t AppendNewTriangle(const Triangle& triangle);
  // True when no two triangles are known to hold the same ordered triple: a
  // mesh made through AddTriangle alone (and its copies), until `triangles`
  // is changed directly.
  bool KnownDistinct() const { return triangleIndex.KnownDistinct(triangles.size()); }
  // AddTriangle, then flat corner normals and the planar texture mapping of
  // the builders: each corner (x, y, z) maps to (x/2sx, z/2sz, y/2sy), turned
  // by -0.1 rad about x, offset by 0.5 and clamped to [0, 1]; that gives the
  // texture coordinate (first two) and the colour (all three).
  uint32_t AddTriangleWithAttributes(uint32_t i0, uint32_t i1, uint32_t i2, float sx, float sy,
                                     float sz);

  // Makes room for `count` vertices / triangles in total without
  // reallocating the arrays or regrowing the triangle index. Large arrays
  // come from the kept ones (see ~Mesh) or are offered huge pages (see
  // AdviseHugePages).
  void ReserveVertices(size_t count);
  void ReserveTriangles(size_t count);
  // Room for `count` triangles in the array, of which `lookedUp` in the
  // index: for triangles that will come mostly through AppendNewTriangle.
  void ReserveTriangles(size_t count, size_t lookedUp);
  // Rebuilds the duplicate index after triangle indices were edited in place.
  void ReindexTriangles();
  // After triangle `t`'s indices were edited in place to a triple that no
  // other triangle holds (a corner moved to a new vertex): what
  // ReindexTriangles would do, for that triangle alone and without hashing.
  void NoteNewIndices(uint32_t t);

  // Read access to corner c (0-2) of triangle t; no range checks.
  Vector CornerPosition(uint32_t t, int c) const {
    return vertices[triangles[t].indices[c]].Position();
  }
  Vector CornerNormal(uint32_t t, int c) const {
    const float* n = triangles[t].normals[c];
    return Vector(n[0], n[1], n[2], 0.0f);
  }
  Vector CornerColour(uint32_t t, int c) const {
    const float* k = triangles[t].colours[c];
    return Vector(k[0], k[1], k[2], 0.0f);
  }
  void SetCornerNormal(uint32_t t, int c, float x, float y, float z);
  void SetCornerNormal(uint32_t t, int c, const Vector& n) { SetCornerNormal(t, c, n.x, n.y, n.z); }
  void SetCornerColour(uint32_t t, int c, float r, float g, float b);
  void SetCornerColour(uint32_t t, int c, const Vector& k) { SetCornerColour(t, c, k.x, k.y, k.z); }
  void SetCornerTexCoord(uint32_t t, int c, float u, float v);

  // normalize((p1 - p0) x (p2 - p0)), w = 0; non-finite for a zero-area triangle.
  Vector FaceNormal(uint32_t t) const;
  // 0.5 |(p1 - p0) x (p2 - p0)|
  float TriangleArea(uint32_t t) const;
  // Mean of all triangle corners, a vertex counting once per use. Undefined
  // (non-finite) for a mesh without triangles.
  Vector Centroid() const;
  // Each position p becomes the x, y, z of M (p, 1); other vertex words kept.
  void Transform(const Matrix4& m);
  // Every corner normal becomes its unit vector (unguarded).
  void NormalizeCornerNormals();

  // GL drawing, defined on the app side (the core stays GL-free).
  void Draw() const;
  void DrawFromBuffer() const;

 private:
  // Copies every field except the two arrays, the triangle index and the
  // buffer names (cleared).
  void CopyFieldsFrom(const Mesh& other);
  template <bool kStreamed, bool kKnownNew>
  uint32_t Append(uint32_t i0, uint32_t i1, uint32_t i2);

  TriangleIndex triangleIndex;
};

// In the header: the splitter and the builders add a triangle per step of
// their inner loops, and a call per triangle costs as much as the probe.
template <bool kStreamed, bool kKnownNew>
inline uint32_t Mesh::Append(uint32_t i0, uint32_t i1, uint32_t i2) {
  // Someone appended to or truncated the array directly (or this mesh is a
  // fresh copy): bring the index back in step first.
  if (!triangleIndex.InStep(triangles.size())) triangleIndex.Rebuild(triangles);
  const uint32_t t = static_cast<uint32_t>(triangles.size());
  if (kKnownNew) {
    triangleIndex.InsertNew(i0, i1, i2, t);
  } else {
    const int64_t found = triangleIndex.FindOrInsert(triangles, i0, i1, i2, t);
    if (found >= 0) return static_cast<uint32_t>(found);
  }
  // The index already names triangle t: append it at once.
  if (kStreamed) {
    Triangle& tri = triangles.emplace_back(Triangle::Unset{});
    StreamIndexedRecord<sizeof(Triangle) / 4>(&tri, i0, i1, i2);
    return t;
  }
  triangles.push_back(kBlankTriangle);
  Triangle& tri = triangles.back();
  tri.indices[0] = i0;
  tri.indices[1] = i1;
  tri.indices[2] = i2;
  return t;
}

inline uint32_t Mesh::AddTriangle(uint32_t i0, uint32_t i1, uint32_t i2) {
  return Append<false, false>(i0, i1, i2);
}

inline uint32_t Mesh::AddTriangleStreamed(uint32_t i0, uint32_t i1, uint32_t i2) {
  return Append<true, false>(i0, i1, i2);
}

inline uint32_t Mesh::AppendNewTriangle(uint32_t i0, uint32_t i1, uint32_t i2) {
  return Append<false, true>(i0, i1, i2);
}

inline uint32_t Mesh::AppendNewTriangleStreamed(uint32_t i0, uint32_t i1, uint32_t i2) {
  return Append<true, true>(i0, i1, i2);
}

inline uint32_t Mesh::AppendNewTriangle(const Triangle& triangle) {
  const uint32_t* i = triangle.indices;
  const uint32_t t = Append<false, true>(i[0], i[1], i[2]);
  triangles[t] = triangle;
  return t;
}
