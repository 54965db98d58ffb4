#include "geom/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// ---------------------------------------------------------------------------
// Array pool
// ---------------------------------------------------------------------------

namespace {

// Large arrays of meshes that went away, kept (per thread) for the next large
// arrays to be filled. A fresh array costs a page fault and the zeroing of
// every page on its first write, which for the halves of a large cut takes
// longer than the cut itself; a kept array has been written before and costs
// neither. The C library hands out arrays from 128 KiB (a moving threshold)
// as fresh pages and gives the free top of its heap back to the system, so
// from that size on every cut would pay again: a split of a 25,000-triangle
// mesh took twice as long. Smaller arrays come and go through the allocator
// as usual. Each pool keeps at most kPoolBytes, dropping its smallest arrays
// first.
constexpr size_t kPooledBytes = size_t{64} << 10;
constexpr size_t kPoolBytes = size_t{128} << 20;

template <class T>
class ArrayPool {
 public:
  // Keeps the memory of `array` if it is large; `array` is left empty.
  void Give(std::vector<T>& array) {
    const size_t bytes = array.capacity() * sizeof(T);
    if (bytes < kPooledBytes || bytes > kPoolBytes) return;
    while (held + bytes > kPoolBytes) DropSmallest();
    array.clear();
    held += bytes;
    arrays.push_back(std::move(array));
    array = std::vector<T>();
  }
  // Makes `array` (empty, with too little room) a kept array with room for
  // `count` elements: the smallest that fits, if it is at most twice the
  // size asked for. False when there is none.
  bool Take(std::vector<T>& array, size_t count) {
    if (count * sizeof(T) < kPooledBytes) return false;
    size_t best = arrays.size();
    for (size_t i = 0; i < arrays.size(); ++i) {
      const size_t room = arrays[i].capacity();
      if (room >= count && room <= 2 * count &&
          (best == arrays.size() || room < arrays[best].capacity()))
        best = i;
    }
    if (best == arrays.size()) return false;
    held -= arrays[best].capacity() * sizeof(T);
    array.swap(arrays[best]);
    arrays[best].swap(arrays.back());
    arrays.pop_back();
    return true;
  }

 private:
  void DropSmallest() {
    auto smallest =
        std::min_element(arrays.begin(), arrays.end(),
                         [](const auto& a, const auto& b) { return a.capacity() < b.capacity(); });
    held -= smallest->capacity() * sizeof(T);
    smallest->swap(arrays.back());
    arrays.pop_back();
  }

  std::vector<std::vector<T>> arrays;
  size_t held = 0;  // bytes
};

struct Pools {
  ArrayPool<Vertex> vertices;
  ArrayPool<Triangle> triangles;
  ArrayPool<TriangleIndex::Slot> slots;
  Pools();
  ~Pools();
};

// Meshes may outlive their thread's pools (a static mesh at exit): after the
// pools are gone, arrays are freed as usual. A trivially destructible flag
// stays readable to the end.
enum class PoolState : uint8_t { kUnborn, kAlive, kGone };
thread_local PoolState poolState = PoolState::kUnborn;
Pools::Pools() { poolState = PoolState::kAlive; }
Pools::~Pools() { poolState = PoolState::kGone; }

Pools* ThreadPools() {
  if (poolState == PoolState::kGone) return nullptr;
  static thread_local Pools pools;
  return &pools;
}

template <class T>
ArrayPool<T>* PoolFor(Pools* pools);
template <>
ArrayPool<Vertex>* PoolFor(Pools* pools) {
  return pools != nullptr ? &pools->vertices : nullptr;
}
template <>
ArrayPool<Triangle>* PoolFor(Pools* pools) {
  return pools != nullptr ? &pools->triangles : nullptr;
}
template <>
ArrayPool<TriangleIndex::Slot>* PoolFor(Pools* pools) {
  return pools != nullptr ? &pools->slots : nullptr;
}

template <class T>
void GiveToPool(std::vector<T>& array) {
  if (array.capacity() * sizeof(T) < kPooledBytes) return;
  if (ArrayPool<T>* pool = PoolFor<T>(ThreadPools())) pool->Give(array);
}

// An empty array with room for `count` elements: a kept one if there is
// one, otherwise a new one offered huge pages.
template <class T>
std::vector<T> RoomFor(size_t count) {
  std::vector<T> array;
  ArrayPool<T>* pool = count * sizeof(T) >= kPooledBytes ? PoolFor<T>(ThreadPools()) : nullptr;
  if (pool == nullptr || !pool->Take(array, count)) {
    array.reserve(count);
    AdviseHugePages(array.data(), array.capacity() * sizeof(T));
  }
  return array;
}

}  // namespace

// ---------------------------------------------------------------------------
// TriangleIndex
// ---------------------------------------------------------------------------

namespace {
// The table grows when it would be more than 70 % full (a probe for an
// absent triple then meets an empty slot after a few steps) and is sized for
// a reservation at no more than that load.
constexpr size_t kMinSlots = 16;
bool OverLoaded(size_t used, size_t slots) { return used * 10 > slots * 7; }
}  // namespace

void TriangleIndex::Reserve(const std::vector<Triangle>& triangles, size_t count) {
  size_t n = kMinSlots;
  while (OverLoaded(count, n)) n <<= 1;
  if (n <= slots.size()) return;
  std::vector<Slot> old = RoomFor<Slot>(n);
  old.resize(n);
  std::memset(static_cast<void*>(old.data()), 0, n * sizeof(Slot));  // all empty
  old.swap(slots);
  used = 0;
  growAt = n * 7 / 10;  // one more would overload the table
  const size_t mask = slots.size() - 1;
  for (const Slot& slot : old) {
    if (slot.bits == 0) continue;
    const uint32_t* idx = triangles[static_cast<uint32_t>(slot.bits) - 1].indices;
    size_t s = Home(idx[0], Hash(idx[1], idx[2]));
    while (slots[s].bits != 0) s = (s + 1) & mask;
    slots[s] = slot;
    ++used;
  }
  GiveToPool(old);
}

TriangleIndex::~TriangleIndex() { GiveToPool(slots); }

void TriangleIndex::Rebuild(const std::vector<Triangle>& triangles) {
  Clear();
  Reserve(triangles, triangles.size());
  // Only the first of several equal triples is recorded (and the triangles
  // are known distinct up to the first repeat).
  for (size_t t = 0; t < triangles.size(); ++t) {
    const uint32_t* i = triangles[t].indices;
    FindOrInsert(triangles, i[0], i[1], i[2], static_cast<uint32_t>(t));
  }
  coveredCount = triangles.size();
}

void TriangleIndex::Clear() {
  slots.clear();
  used = 0;
  growAt = 0;
  coveredCount = 0;
  distinctCount = 0;
  marks.clear();
  anyUnindexed = false;
}

// ---------------------------------------------------------------------------
// Mesh
// ---------------------------------------------------------------------------

namespace {
// Replaces `to` with a copy of `from` in a kept or new buffer (see RoomFor);
// the old buffer of `to` goes to the pool.
template <class T>
void CopyArray(std::vector<T>& to, const std::vector<T>& from) {
  std::vector<T> fresh = RoomFor<T>(from.size());
  fresh.insert(fresh.end(), from.begin(), from.end());
  to.swap(fresh);
  GiveToPool(fresh);
}

// Grows `array` to room for `count` elements, keeping its contents.
template <class T>
void Grow(std::vector<T>& array, size_t count) {
  if (count <= array.capacity()) return;
  std::vector<T> fresh = RoomFor<T>(count);
  fresh.insert(fresh.end(), array.begin(), array.end());
  array.swap(fresh);
  GiveToPool(fresh);
}
}  // namespace

Mesh::Mesh(const Mesh& other) { *this = other; }

Mesh::~Mesh() {
  GiveToPool(vertices);
  GiveToPool(triangles);
}

Mesh& Mesh::operator=(const Mesh& other) {
  if (this == &other) return *this;
  CopyArray(vertices, other.vertices);
  CopyArray(triangles, other.triangles);
  CopyFieldsFrom(other);
  // Rebuilt on the next AddTriangle.
  triangleIndex.ClearKnowingDistinct(other.KnownDistinct() ? triangles.size() : 0);
  return *this;
}

void Mesh::CopyFieldsFrom(const Mesh& other) {
  name = other.name;
  useTexCoords = other.useTexCoords;
  useColours = other.useColours;
  loadedModel = other.loadedModel;
  extraFlag0 = other.extraFlag0;
  extraFlag1 = other.extraFlag1;
  extraWord = other.extraWord;
  for (int i = 0; i < 3; ++i) extraVectors[i] = other.extraVectors[i];
  extraFloat = other.extraFloat;
  // Buffer names belong to one mesh: a copy that carried them would draw
  // another mesh's data, and stale data once that mesh's buffers are freed.
  buffersCreated = false;
  for (uint32_t& id : bufferIds) id = 0;
  extraFlag2 = other.extraFlag2;
  wordArray0 = other.wordArray0;
  wordArray1 = other.wordArray1;
  extraFlag3 = other.extraFlag3;
  extraWords[0] = other.extraWords[0];
  extraWords[1] = other.extraWords[1];
}

uint32_t Mesh::AddVertex(const Vertex& v) {
  vertices.push_back(v);
  return static_cast<uint32_t>(vertices.size() - 1);
}

uint32_t Mesh::AddTriangleWithAttributes(uint32_t i0, uint32_t i1, uint32_t i2, float sx,
                                         float sy, float sz) {
  // The texture-space matrix: -0.1 rad about x, built once for the program.
  static const Matrix4 kTextureSpace = Matrix4::Rotation(0.0f, 0.0f, -0.1f);

  const uint32_t t = AddTriangle(i0, i1, i2);
  const Vector n = FaceNormal(t);
  Triangle& tri = triangles[t];
  for (int k = 0; k < 3; ++k) {
    const Vertex& v = vertices[tri.indices[k]];
    // Note the swap: the second component comes from z, the third from y.
    Vector a(v.x / (2.0f * sx), v.z / (2.0f * sz), v.y / (2.0f * sy), 0.0f);
    a = kTextureSpace * a;
    for (int i = 0; i < 3; ++i) a[i] = std::min(1.0f, std::max(0.0f, a[i] + 0.5f));
    tri.normals[k][0] = n.x;
    tri.normals[k][1] = n.y;
    tri.normals[k][2] = n.z;
    tri.texCoords[k][0] = a.x;
    tri.texCoords[k][1] = a.y;
    tri.colours[k][0] = a.x;
    tri.colours[k][1] = a.y;
    tri.colours[k][2] = a.z;
  }
  return t;
}

void AdviseHugePages(const void* data, size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;  // bytes
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHugePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

void Mesh::ReserveVertices(size_t count) { Grow(vertices, count); }

void Mesh::ReserveTriangles(size_t count) { ReserveTriangles(count, count); }

void Mesh::ReserveTriangles(size_t count, size_t lookedUp) {
  Grow(triangles, count);
  if (!triangleIndex.InStep(triangles.size())) triangleIndex.Rebuild(triangles);
  triangleIndex.Reserve(triangles, lookedUp);
}

void Mesh::ReindexTriangles() { triangleIndex.Rebuild(triangles); }

void Mesh::NoteNewIndices(uint32_t t) {
  // An index out of step is rebuilt from the array anyway.
  if (!triangleIndex.InStep(triangles.size())) return;
  const uint32_t* i = triangles[t].indices;
  triangleIndex.Renamed(i[0], i[1], i[2]);
}

void Mesh::SetCornerNormal(uint32_t t, int c, float x, float y, float z) {
  float* n = triangles[t].normals[c];
  n[0] = x;
  n[1] = y;
  n[2] = z;
}

void Mesh::SetCornerColour(uint32_t t, int c, float r, float g, float b) {
  float* k = triangles[t].colours[c];
  k[0] = r;
  k[1] = g;
  k[2] = b;
}

void Mesh::SetCornerTexCoord(uint32_t t, int c, float u, float v) {
  triangles[t].texCoords[c][0] = u;
  triangles[t].texCoords[c][1] = v;
}

Vector Mesh::FaceNormal(uint32_t t) const {
  const Vector p0 = CornerPosition(t, 0);
  return Normalize(Cross(CornerPosition(t, 1) - p0, CornerPosition(t, 2) - p0));
}

float Mesh::TriangleArea(uint32_t t) const {
  const Vector p0 = CornerPosition(t, 0);
  return 0.5f * Length(Cross(CornerPosition(t, 1) - p0, CornerPosition(t, 2) - p0));
}

Vector Mesh::Centroid() const {
  // Summed in double so that large meshes keep their precision; the result
  // is the float mean of all corners.
  double sum[3] = {0.0, 0.0, 0.0};
  for (const Triangle& tri : triangles)
    for (int c = 0; c < 3; ++c) {
      const Vertex& v = vertices[tri.indices[c]];
      sum[0] += v.x;
      sum[1] += v.y;
      sum[2] += v.z;
    }
  const double s = 1.0 / (3.0 * static_cast<double>(triangles.size()));
  return Vector(static_cast<float>(sum[0] * s), static_cast<float>(sum[1] * s),
                static_cast<float>(sum[2] * s), 0.0f);
}

void Mesh::Transform(const Matrix4& m) {
  for (Vertex& v : vertices) {
    const Vector p = m * Vector(v.x, v.y, v.z, 1.0f);
    v.x = p.x;
    v.y = p.y;
    v.z = p.z;
  }
}

void Mesh::NormalizeCornerNormals() {
  for (Triangle& tri : triangles)
    for (auto& n : tri.normals) {
      const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      n[0] /= len;
      n[1] /= len;
      n[2] /= len;
    }
}
