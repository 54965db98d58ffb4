#include "geom/mesh_splitter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <string>

#include "core/diagnostics.h"
#include "geom/streaming_store.h"

namespace {

// A half whose triangle records are expected to take more than this many
// bytes has them written by streaming stores (see streaming_store.h): they
// would not stay in cache until they are read again anyway. Measured on
// spheres: halves of 2 MB are split 15 % slower streamed, halves of 7 MB
// the same either way, halves of 25 MB 10 % faster.
constexpr size_t kStreamedRecordBytes = size_t{8} << 20;
// Intersect's slack below t = 0 (dimensionless).
constexpr float kMinParameter = -1e-8f;

enum Side : uint8_t { kFront = 0, kBack = 1, kOn = 2 };

// One polygon being collected for a side. Each of the three edges appends at
// most two entries, so six slots suffice.
struct Polygon {
  uint32_t entries[6];
  int size = 0;
  void Push(uint32_t i) { entries[size++] = i; }
  // Removes every later repeat of an entry, keeping first occurrences.
  void RemoveRepeats() {
    int kept = 0;
    for (int i = 0; i < size; ++i) {
      bool seen = false;
      for (int j = 0; j < kept; ++j) seen |= entries[j] == entries[i];
      if (!seen) entries[kept++] = entries[i];
    }
    size = kept;
  }
  // The fan (L0, Lk, Lk+1), k = 1 .. n-2; returns the number of triangles.
  // The triangles it appends are noted in the half's cut set as ones that
  // may use a vertex on the cut. A triangle that AddTriangle finds already
  // there was noted when it was added, or was copied whole and uses no
  // vertex on the cut.
  int FanInto(Mesh& mesh, VertexIndexSet& cutSet) const {
    for (int k = 1; k + 1 < size; ++k) {
      const uint32_t next = mesh.TriangleCount();
      if (mesh.AddTriangle(entries[0], entries[k], entries[k + 1]) == next) cutSet.AddUser(next);
    }
    return std::max(0, size - 2);
  }
};

// Asks for the cache lines of the record written a few appends from now,
// for writing. The halves' records are written once, in order, into memory
// that is not in cache; without asking early each record's three lines are
// read in turn while the writes wait behind them. (A prefetch past the end
// of the array's memory is harmless: it never faults.)
void PrefetchForWrite(const Mesh& half) {
  constexpr uintptr_t kAhead = 6 * sizeof(Triangle);  // bytes
  const uintptr_t at =
      reinterpret_cast<uintptr_t>(half.triangles.data() + half.triangles.size()) + kAhead;
  __builtin_prefetch(reinterpret_cast<const void*>(at), 1);
  __builtin_prefetch(reinterpret_cast<const void*>(at + 64), 1);
  __builtin_prefetch(reinterpret_cast<const void*>(at + 128), 1);
}

// The working state of one SplitMesh call.
class Splitter {
 public:
  Splitter(const Mesh& source_, const Plane& plane_, Mesh& front_, Mesh& back_,
           SplitContext& context_, float onPlane_)
      : source(source_), plane(plane_), front(front_), back(back_), context(context_),
        onPlane(onPlane_) {}

  void Run();

 private:
  // Index of source vertex v in the half, copying the whole vertex on first use.
  static uint32_t Copy(uint32_t v, const Mesh& source, Mesh& half, VertexIndexMap& map) {
    uint32_t i = map.Get(v);
    if (i == VertexIndexMap::kNone) {
      i = half.VertexCount();
      map.Set(v, i);
      half.vertices.push_back(source.vertices[v]);
    }
    return i;
  }
  uint32_t ToFront(uint32_t v) { return Copy(v, source, front, context.frontVertexMap); }
  uint32_t ToBack(uint32_t v) { return Copy(v, source, back, context.backVertexMap); }
  // The (front, back) indices of the vertex on crossing edge (a, b), made
  // (and entered in both cut sets) on the first call for the edge.
  IndexPair CutVertex(uint32_t a, uint32_t b);
  // Every triangle but those lying wholly on one side (see Run).
  void SplitTriangle(uint32_t t);

  const Mesh& source;
  const Plane& plane;
  Mesh& front;
  Mesh& back;
  SplitContext& context;
  const float onPlane;
  std::vector<uint8_t>& side = SideTable();
  bool anyFront = false, anyBack = false;  // some vertex lies strictly on that side
  bool streamFront = false, streamBack = false;  // write whole-side triangles streamed
  // Whole-side triangles go in as known new (see Run).
  bool newFront = false, newBack = false;

  // The side of every source vertex. Kept between calls (per thread):
  // reusing the memory spares the page faults of a fresh array on every cut.
  static std::vector<uint8_t>& SideTable() {
    static thread_local std::vector<uint8_t> table;
    return table;
  }
};

IndexPair Splitter::CutVertex(uint32_t a, uint32_t b) {
  const uint32_t low = std::min(a, b), high = std::max(a, b);
  if (const IndexPair* found = context.cutEdgeMap.Find(low, high)) return *found;
  // Intersect runs from the back-side vertex to the front-side one.
  const uint32_t backVertex = side[a] == kBack ? a : b;
  const uint32_t frontVertex = backVertex == a ? b : a;
  const Vector p = Intersect(source.vertices[backVertex].Position(),
                             source.vertices[frontVertex].Position(), plane);
  const IndexPair indices(front.VertexCount(), back.VertexCount());
  context.cutEdgeMap.Insert(low, high, indices);
  const Vertex v(p.x, p.y, p.z);  // only the position is meaningful
  front.vertices.push_back(v);
  back.vertices.push_back(v);
  // Both triangles beside the edge use the vertex; it joins the cut sets
  // once, as it is made.
  context.frontCutSet.insert(indices.first);
  context.backCutSet.insert(indices.second);
  return indices;
}

void Splitter::SplitTriangle(uint32_t t) {
  const uint32_t* c = source.triangles[t].indices;
  const size_t vertexCount = side.size();
  if (c[0] >= vertexCount || c[1] >= vertexCount || c[2] >= vertexCount) {
    // A broken source mesh: report it and leave the triangle out rather
    // than read past the vertex list.
    CLEAVE_ERROR("triangle " + std::to_string(t) + " has a vertex index out of range");
    return;
  }
  const uint8_t s0 = side[c[0]], s1 = side[c[1]], s2 = side[c[2]];

  // A triangle lying wholly within the on-plane band is part of the cut
  // face. It bounds the solid on the side its outward normal points away
  // from, so it joins the half behind it: facing the front (n . N > 0) it is
  // the back half's, otherwise the front half's. Giving it to the front
  // regardless made a face lying in the cut a front half of its own: a sheet
  // capped against itself, enclosing no volume (or a little of either sign,
  // from the band's thickness), while the back half capped over it again.
  // A side without a vertex of its own gets none of these triangles (they
  // would make it a sheet), so a mesh lying wholly within the band goes to
  // the front whole. It comes out as (c1, c2, c0), like the edge walk below.
  if (s0 == kOn && s1 == kOn && s2 == kOn) {
    const Vector p0 = source.vertices[c[0]].Position();
    const Vector facing =
        Cross(source.vertices[c[1]].Position() - p0, source.vertices[c[2]].Position() - p0);
    const bool toBack = anyBack && (!anyFront || Dot3(plane.normal, facing) > 0.0f);
    Mesh& half = toBack ? back : front;
    VertexIndexMap& map = toBack ? context.backVertexMap : context.frontVertexMap;
    VertexIndexSet& cutSet = toBack ? context.backCutSet : context.frontCutSet;
    Polygon whole;
    for (int k = 1; k <= 3; ++k) {
      const uint32_t i = Copy(c[k % 3], source, half, map);
      whole.Push(i);
      cutSet.insert(i);
    }
    whole.RemoveRepeats();
    if (whole.FanInto(half, cutSet) < 1)
      std::cout << "Splitting triangle " << t << " produced no valid triangles.\n";
    return;
  }

  // The edge walk (c0 -> c1), (c1 -> c2), (c2 -> c0), collecting the front
  // polygon F and the back polygon B in the triangle's winding. An on-plane
  // vertex goes to F whenever it ends an edge, to B only next to a back vertex.
  Polygon f, b;
  for (int e = 0; e < 3; ++e) {
    const uint32_t prev = c[e], cur = c[(e + 1) % 3];
    const uint8_t sp = side[prev], sc = side[cur];
    if (sp == kFront) {
      if (sc == kFront) {
        f.Push(ToFront(cur));
      } else if (sc == kBack) {
        const IndexPair x = CutVertex(prev, cur);
        f.Push(x.first);
        b.Push(x.second);
        b.Push(ToBack(cur));
      } else {
        const uint32_t i = ToFront(cur);
        f.Push(i);
        context.frontCutSet.insert(i);
      }
    } else if (sp == kBack) {
      if (sc == kFront) {
        const IndexPair x = CutVertex(prev, cur);
        f.Push(x.first);
        b.Push(x.second);
        f.Push(ToFront(cur));
      } else if (sc == kBack) {
        b.Push(ToBack(cur));
      } else {
        const uint32_t i = ToFront(cur);
        f.Push(i);
        context.frontCutSet.insert(i);
        const uint32_t j = ToBack(cur);
        b.Push(j);
        context.backCutSet.insert(j);
      }
    } else {  // prev on the plane
      if (sc == kFront) {
        f.Push(ToFront(cur));
      } else if (sc == kBack) {
        const uint32_t j = ToBack(prev);
        b.Push(j);
        context.backCutSet.insert(j);
        b.Push(ToBack(cur));
      } else {
        const uint32_t i = ToFront(cur);
        f.Push(i);
        context.frontCutSet.insert(i);
      }
    }
  }
  f.RemoveRepeats();
  b.RemoveRepeats();
  const int added = f.FanInto(front, context.frontCutSet) + b.FanInto(back, context.backCutSet);
  if (added < 1) std::cout << "Splitting triangle " << t << " produced no valid triangles.\n";
}

void Splitter::Run() {
  const uint32_t vertexCount = source.VertexCount();
  side.assign(vertexCount, kOn);
  size_t frontCount = 0, backCount = 0;
  for (uint32_t v = 0; v < vertexCount; ++v) {
    const float d = plane.SignedDistance(source.vertices[v].Position());
    const uint8_t s = d > onPlane ? kFront : (d < -onPlane ? kBack : kOn);
    side[v] = s;
    frontCount += s != kBack;
    backCount += s != kFront;
  }
  anyFront = backCount < vertexCount;
  anyBack = frontCount < vertexCount;
  context.frontVertexMap.Reserve(vertexCount);
  context.backVertexMap.Reserve(vertexCount);

  // Vertices and triangles the cut makes, with room to spare: a cut of a
  // closed mesh of T triangles crosses on the order of sqrt T edges.
  const size_t cut = 64 + static_cast<size_t>(std::sqrt(double(source.TriangleCount())) * 4);

  // A triangle lying wholly on one side is copied as (c1, c2, c0) through
  // the side's vertex map, which is one to one: when the source holds no two
  // equal triples, neither do the copies, and into a half that starts empty
  // they go as known new, without a lookup. Every other triangle a half gets
  // (here or in CloseCut) has a corner on the cut, which no copy has, so no
  // lookup ever needs the copies indexed.
  const bool sourceDistinct = source.KnownDistinct();
  newFront = sourceDistinct && front.triangles.empty();
  newBack = sourceDistinct && back.triangles.empty();

  // Room for the halves, estimated from the share of vertices on each side
  // (plus the cut's); the arrays still grow if a mesh is uneven. Reserving
  // also sizes the duplicate index once instead of regrowing it, unless the
  // half's triangles go in as known new.
  if (vertexCount > 0) {
    const double triangles = source.TriangleCount();
    const double slack = 1.1;
    auto estimate = [&](size_t count) {
      return static_cast<size_t>(triangles * slack * double(count) / vertexCount) + cut;
    };
    front.ReserveVertices(front.vertices.size() + frontCount + cut);
    back.ReserveVertices(back.vertices.size() + backCount + cut);
    for (Mesh* half : {&front, &back}) {
      const size_t room = half->triangles.size() + estimate(half == &front ? frontCount : backCount);
      // Known new, only the triangles at the cut are looked up.
      half->ReserveTriangles(room, (half == &front ? newFront : newBack) ? cut : room);
    }
    streamFront = estimate(frontCount) * sizeof(Triangle) > kStreamedRecordBytes;
    streamBack = estimate(backCount) * sizeof(Triangle) > kStreamedRecordBytes;
  }

  // A cut set can tell which triangles use its members (see
  // vertex_index_set.h) when the split makes every triangle of the half and
  // every member of the set.
  const bool frontFresh = front.triangles.empty() && context.frontCutSet.empty();
  const bool backFresh = back.triangles.empty() && context.backCutSet.empty();
  context.frontCutSet.ForgetUsers();
  context.backCutSet.ForgetUsers();
  context.frontCutSet.ReserveUsers(cut);
  context.backCutSet.ReserveUsers(cut);

  // Most triangles lie wholly on one side: they come out as the one triangle
  // (c1, c2, c0), the order in which SplitTriangle's edge walk would collect
  // them. That case is handled here, in the loop, and everything else
  // (indices out of range, repeated corners, corners on the plane or on
  // both sides) by SplitTriangle.
  const uint32_t triangleCount = source.TriangleCount();
  const Triangle* records = source.triangles.data();
  const uint8_t* sides = side.data();
  for (uint32_t t = 0; t < triangleCount; ++t) {
    PrefetchIndices(records + t + 16);
    const uint32_t* c = records[t].indices;
    if (c[0] < vertexCount && c[1] < vertexCount && c[2] < vertexCount) {
      const uint8_t s0 = sides[c[0]];
      if (s0 != kOn && s0 == sides[c[1]] && s0 == sides[c[2]] && c[0] != c[1] && c[1] != c[2] &&
          c[2] != c[0]) {
        Mesh& half = s0 == kFront ? front : back;
        VertexIndexMap& map = s0 == kFront ? context.frontVertexMap : context.backVertexMap;
        const uint32_t a = Copy(c[1], source, half, map), b = Copy(c[2], source, half, map),
                       d = Copy(c[0], source, half, map);
        const bool known = s0 == kFront ? newFront : newBack;
        if (s0 == kFront ? streamFront : streamBack) {
          if (known) {
            half.AppendNewTriangleStreamed(a, b, d);
          } else {
            half.AddTriangleStreamed(a, b, d);
          }
        } else {
          PrefetchForWrite(half);
          if (known) {
            half.AppendNewTriangle(a, b, d);
          } else {
            half.AddTriangle(a, b, d);
          }
        }
        continue;
      }
    }
    SplitTriangle(t);
  }
  if (frontFresh) context.frontCutSet.SealUsers(front.triangles.data(), front.triangles.size());
  if (backFresh) context.backCutSet.SealUsers(back.triangles.data(), back.triangles.size());
}

}  // namespace

float OnPlaneTolerance(const Mesh& mesh) {
  if (!mesh.loadedModel || mesh.vertices.empty()) return kSolidOnPlane;
  float low[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, high[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
  for (const Vertex& v : mesh.vertices) {
    const float p[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) {
      low[k] = std::min(low[k], p[k]);
      high[k] = std::max(high[k], p[k]);
    }
  }
  double diagonal = 0.0;
  for (int k = 0; k < 3; ++k) diagonal += double(high[k] - low[k]) * (high[k] - low[k]);
  return static_cast<float>(kModelOnPlane * std::sqrt(diagonal));
}

void SplitMesh(const Mesh& source, const Plane& plane, Mesh& front, Mesh& back,
               SplitContext& context, float onPlane) {
  Splitter(source, plane, front, back, context, onPlane).Run();
  // The halves may be handed to another thread.
  StreamFence();
}

Vector Intersect(const Vector& a, const Vector& b, const Plane& plane) {
  // With d(p) = n . (p - q), the crossing is at t = -d(A) / (d(B) - d(A)).
  // A and B lie beyond the tolerance on either side, so the denominator is
  // at least twice the tolerance, however small the model's units make it.
  const float den = Dot3(plane.normal, b - a);
  CLEAVE_ASSERT(den != 0.0f);
  const float t = Dot3(-plane.normal, a - plane.point) / den;
  CLEAVE_ASSERT(t > kMinParameter);
  CLEAVE_ASSERT(t < 1.0f);
  return a + (b - a) * t;
}
