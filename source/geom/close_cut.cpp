#include "geom/close_cut.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "core/diagnostics.h"
#include "geom/cap_triangulation.h"

namespace {

uint64_t EdgeKey(uint32_t a, uint32_t b) { return static_cast<uint64_t>(a) << 32 | b; }

}  // namespace

// ---------------------------------------------------------------------------
// Boundary edges
// ---------------------------------------------------------------------------

namespace {

// The directed triangle edges (a, b) with an end on the cut, in triangle and
// corner order, as the last FindBoundaryEdges call on this thread found them
// (kept between calls: reusing the memory spares the page faults of a fresh
// array on every cut). CloseCut reads them to see which loop vertices the
// mesh already joins.
std::vector<IndexPair>& CutEdges() {
  static thread_local std::vector<IndexPair> edges;
  return edges;
}

}  // namespace

std::vector<BoundaryEdge> FindBoundaryEdges(const Mesh& mesh, const VertexIndexSet& cutSet) {
  std::vector<BoundaryEdge> boundary;
  std::vector<IndexPair>& edges = CutEdges();
  edges.clear();
  if (cutSet.empty()) return boundary;

  // Cut membership as a flag per vertex: one array lookup per triangle corner
  // instead of a hash lookup, since every triangle must be looked at. Any
  // index from `size` on reads the last flag, which stays clear, so that no
  // corner needs a range test. A member past the vertex list (a broken
  // mesh) is no vertex of it and is left out.
  const uint32_t size = mesh.VertexCount();
  // Kept between calls (per thread): reusing the memory spares the page
  // faults of a fresh array on every cut.
  static thread_local std::vector<uint8_t> onCut;
  onCut.assign(static_cast<size_t>(size) + 1, 0);
  for (uint32_t v : cutSet)
    if (v < size) onCut[v] = 1;
  const uint8_t* flags = onCut.data();
  auto cut = [flags, size](uint32_t v) { return flags[std::min(v, size)] != 0; };

  const Triangle* records = mesh.triangles.data();
  const size_t triangleCount = mesh.triangles.size();
  // An edge with an end past the vertex list (a broken mesh) is left out:
  // no cap can be made through a vertex that does not exist.
  auto look = [&](size_t t) {
    const uint32_t* i = records[t].indices;
    if (!(cut(i[0]) | cut(i[1]) | cut(i[2]))) return;  // no branch per corner
    for (int c = 0; c < 3; ++c) {
      const uint32_t a = i[c], b = i[(c + 1) % 3];
      if ((cut(a) || cut(b)) && a < size && b < size) edges.emplace_back(a, b);
    }
  };
  if (const std::vector<uint32_t>* users = cutSet.Users(records, triangleCount)) {
    // A half as the split left it: only the triangles it made from cut ones
    // can use a vertex on the cut, in the same (ascending) order.
    // They lie scattered over the half's records: ask for each a few early.
    constexpr size_t kAhead = 8;
    for (size_t k = 0; k < users->size(); ++k) {
      if (k + kAhead < users->size()) PrefetchIndices(records + (*users)[k + kAhead]);
      look((*users)[k]);
    }
  } else {
    for (size_t t = 0; t < triangleCount; ++t) {
      PrefetchIndices(records + t + 16);
      look(t);
    }
  }
  if (edges.empty()) return boundary;
  boundary.reserve(edges.size());  // at most one per edge: no regrowing

  // The successor table: an open-addressing table over the directed edges
  // (for "does b's list hold a"), and the sources in order of first
  // appearance, each with a chain through its edges (the list of a, in
  // insertion order). A source is found from its vertex through a
  // per-vertex array that is kept between calls, all empty: only the
  // entries of this call's sources are written, and cleared at the end.
  size_t slots = 16;
  int bits = 4;
  while (slots < 2 * edges.size()) slots <<= 1, ++bits;
  const size_t mask = slots - 1;
  constexpr uint32_t kEmpty = UINT32_MAX;
  static thread_local std::vector<uint64_t> edgeKeys;  // directed edge set
  static thread_local std::vector<uint32_t> sourceOf;  // vertex -> position in `sources`
  struct Source {
    uint32_t vertex, head, tail;
  };
  static thread_local std::vector<Source> sources;     // in order of first appearance
  static thread_local std::vector<uint32_t> chain;     // next edge of the same source
  // All ones is never a real key (vertex indices stay below 2^32 - 1); a
  // byte fill, since a word-by-word fill of a large table is slower.
  edgeKeys.resize(slots);
  std::memset(edgeKeys.data(), 0xFF, slots * sizeof(uint64_t));
  if (sourceOf.size() < size) sourceOf.resize(size, kEmpty);
  sources.clear();
  chain.assign(edges.size(), kEmpty);
  // The home slot: the top bits of a multiplicative hash, which every bit
  // of the key (both vertices of an edge) reaches.
  auto mix = [bits](uint64_t key) {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - bits));
  };
  for (uint32_t k = 0; k < edges.size(); ++k) {
    const uint64_t key = EdgeKey(edges[k].first, edges[k].second);
    for (size_t h = mix(key) & mask;; h = (h + 1) & mask)
      if (edgeKeys[h] == key || edgeKeys[h] == UINT64_MAX) {
        edgeKeys[h] = key;
        break;
      }
    uint32_t& source = sourceOf[edges[k].first];
    if (source == kEmpty) {
      source = static_cast<uint32_t>(sources.size());
      sources.push_back(Source{edges[k].first, k, k});
    } else {
      chain[sources[source].tail] = k;
      sources[source].tail = k;
    }
  }
  auto present = [&](uint64_t key) {
    for (size_t h = mix(key) & mask;; h = (h + 1) & mask) {
      if (edgeKeys[h] == key) return true;
      if (edgeKeys[h] == UINT64_MAX) return false;
    }
  };
  for (const Source& src : sources) {
    for (uint32_t k = src.head; k != kEmpty; k = chain[k]) {
      const IndexPair& e = edges[k];
      if (!present(EdgeKey(e.second, e.first))) boundary.emplace_back(e.second, e.first);
    }
    sourceOf[src.vertex] = kEmpty;
  }
  return boundary;
}

void CapLoop(const std::deque<uint32_t>& loop, Mesh& mesh) {
  if (loop.size() < 3) return;
  for (size_t k = 0; k + 2 < loop.size(); ++k) mesh.AddTriangle(loop[0], loop[k + 1], loop[k + 2]);
}

namespace {

// Caps the closed loops. Two things make a plain fan from a loop's first
// entry leave the half open, both where vertices lie on the plane:
// - A loop may pass more than once through a vertex, where the opening is
//   pinched (a face lying in the cut, or on-plane vertices whose neighbours
//   alternate between the sides, touch the outline at one vertex). A fan
//   over it makes triangles that repeat a vertex. Such a loop is cut at every
//   repeat into simple loops (the walk between two visits of a vertex closes
//   on itself), each fanned on its own.
// - A fan from vertex s adds the chords from s to every loop vertex but its
//   two neighbours; where the mesh already joins s to one of them (an edge
//   between on-plane vertices lying in the cut), that edge is then doubled.
//   The fan starts at a vertex without such an edge. A vertex made on a
//   crossing edge is always one: its only neighbours on the cut are its two
//   loop neighbours.
// Among the vertices allowed, the fan starts at the one of least position
// (x, then y, then z). The two halves of a cut hold the same cut and on-plane
// vertices at the same positions and meet along the same loops, each half's
// loop the other's reversed; fanning both from the same vertex makes one cap
// the exact mirror of the other, so the halves' volumes add up to the
// source's even where a loop is not flat (its on-plane vertices may lie
// anywhere within the side test's tolerance of the plane).
class LoopCapper {
 public:
  // `meshEdges`: the mesh's directed edges with an end in `cutSet`.
  void Cap(const BoundaryLoopList& loops, const std::vector<IndexPair>& meshEdges,
           const VertexIndexSet& cutSet, Mesh& mesh);

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Mark {
    uint32_t loop = kNone;  // the simple loop holding the vertex
    uint32_t at = 0;        // its entry in that loop
    uint32_t uses = 0;      // simple loops holding it (more than one: a pinch)
    uint32_t onPath = 0;    // its entry on the walk being split, plus one; 0: not on it
    bool joined = false;    // the mesh joins it to a loop vertex other than its neighbours
  };

  // Appends the simple loops of one closed loop to `entries`.
  void Split(const std::deque<uint32_t>& loop);
  // Takes path[from ..] as a simple loop (dropped when shorter than three)
  // and leaves path[.. keep) on the walk.
  void Close(size_t from, size_t keep);
  bool Neighbours(uint32_t a, uint32_t b) const;
  // For a loop whose every vertex is joined or a pinch: the entry of the
  // loop vertex of least position from which a fan adds no chord that the
  // mesh has already (no pair of outline.joined with that vertex and
  // another of the loop, apart in it) nor a chord between two pinch
  // vertices that the fan of an earlier loop made, or of least position
  // overall when there is none. A doubled edge would leave the half open.
  template <typename Less>
  size_t ChordFreeStart(std::vector<uint32_t>::const_iterator begin,
                        std::vector<uint32_t>::const_iterator end, const Less& less);
  Mark& MarkOf(uint32_t v) {
    if (v >= marks.size()) marks.resize(static_cast<size_t>(v) + 1);
    return marks[v];
  }

  CapOutline outline;             // the loops as the cap triangulation takes them
  std::vector<Mark> marks;        // per vertex; reset after each Cap
  std::vector<uint32_t> path;     // the walk so far, each vertex at most once
  std::vector<uint32_t> entries;  // the simple loops, one after another
  std::vector<size_t> starts;     // loop k is entries[starts[k] .. starts[k + 1])
  // Chords between two pinch vertices made by the fans chosen so far.
  std::unordered_set<uint64_t> pinchChords;

 public:
  // The pinch vertices of the last Cap (in more than one simple loop).
  std::vector<uint32_t> pinches;
};

void LoopCapper::Cap(const BoundaryLoopList& loops, const std::vector<IndexPair>& meshEdges,
                     const VertexIndexSet& cutSet, Mesh& mesh) {
  entries.clear();
  starts.assign(1, 0);
  pinchChords.clear();
  pinches.clear();
  for (size_t i = 0; i < loops.size(); ++i)
    if (loops.closed[i]) Split(loops.loops[i]);
  const size_t count = starts.size() - 1;
  for (size_t k = 0; k < count; ++k)
    for (size_t e = starts[k]; e < starts[k + 1]; ++e) {
      Mark& m = MarkOf(entries[e]);
      m.loop = static_cast<uint32_t>(k);
      m.at = static_cast<uint32_t>(e - starts[k]);
      if (++m.uses == 2) pinches.push_back(entries[e]);
    }
  outline.joined.clear();
  for (const IndexPair& edge : meshEdges) {
    if (edge.first >= marks.size() || edge.second >= marks.size()) continue;
    Mark& a = marks[edge.first];
    Mark& b = marks[edge.second];
    if (a.uses == 0 || b.uses == 0) continue;
    // A chord of the cap between two vertices that the mesh joins doubles
    // their edge: the chord holds it both ways, and the mesh (with, for
    // loop neighbours, the cap triangle on their loop edge) holds it
    // already. That goes wherever they sit in the loops: even two
    // neighbours in one loop may meet again, apart, in another loop
    // through a pinch or across a bridge of the triangulation.
    outline.joined.push_back(uint64_t(std::min(edge.first, edge.second)) << 32 |
                             std::max(edge.first, edge.second));
    if (Neighbours(edge.first, edge.second)) continue;
    // A pinch vertex may sit in another loop: counted as joined either way.
    if (a.uses > 1 || b.uses > 1 || a.loop == b.loop) a.joined = b.joined = true;
  }
  const uint32_t vertexCount = mesh.VertexCount();
  auto less = [&mesh, vertexCount](uint32_t a, uint32_t b) {
    // An index out of range (a broken mesh) ranks after every vertex.
    if (a >= vertexCount || b >= vertexCount) return a < vertexCount;
    const Vertex &p = mesh.vertices[a], &q = mesh.vertices[b];
    if (p.x != q.x) return p.x < q.x;
    if (p.y != q.y) return p.y < q.y;
    return p.z < q.z;
  };
  for (size_t k = 0; k < count; ++k) {
    const auto begin = entries.begin() + static_cast<std::ptrdiff_t>(starts[k]);
    const auto end = entries.begin() + static_cast<std::ptrdiff_t>(starts[k + 1]);
    auto first = end;
    for (auto e = begin; e != end; ++e) {
      const Mark& m = marks[*e];
      if (m.uses == 1 && !m.joined && (first == end || less(*e, *first))) first = e;
    }
    if (first == end) first = begin + ChordFreeStart(begin, end, less);
    std::rotate(begin, first, end);
    for (auto e = begin; e != end; ++e) marks[*e].at = static_cast<uint32_t>(e - begin);
  }
  outline.entries = entries;
  outline.starts = starts;
  if (count > 0 && !FansAreValid(outline, mesh)) {
    // A fan would overlap itself, or cover a hole: the loops are
    // triangulated together instead, keeping clear of the edges the mesh
    // has between loop vertices where it can. The edges at hand are those
    // with an end on the cut; a loop vertex off the cut (its loop neighbours
    // are on it) may have edges to other such vertices, which only a look
    // at every triangle finds.
    bool offCut = false;
    for (const uint32_t v : entries) offCut |= cutSet.count(v) == 0;
    if (offCut) {
      const size_t marked = marks.size();
      for (const Triangle& t : mesh.triangles)
        for (int c = 0; c < 3; ++c) {
          const uint32_t a = t.indices[c], b = t.indices[(c + 1) % 3];
          if (a < marked && b < marked && marks[a].uses > 0 && marks[b].uses > 0)
            outline.joined.push_back(uint64_t(std::min(a, b)) << 32 | std::max(a, b));
        }
    }
    std::sort(outline.joined.begin(), outline.joined.end());
    const bool capped = TriangulateCap(outline, mesh);
    for (const uint32_t v : entries) marks[v] = Mark();
    if (capped) return;
    CLEAVE_WARNING("cut outline bounds no region (" + std::to_string(count) +
                   " loops); each loop is fanned");
  }
  for (size_t k = 0; k < count; ++k) {
    const auto begin = entries.begin() + static_cast<std::ptrdiff_t>(starts[k]);
    const auto end = entries.begin() + static_cast<std::ptrdiff_t>(starts[k + 1]);
    // The fan (L0, Lk, Lk+1), each triangle written from Lk: the duplicate
    // index files a triangle under its first index, and a long loop's
    // triangles all starting at L0 would crowd one stretch of it.
    for (auto e = begin + 1; e + 1 < end; ++e) mesh.AddTriangle(*e, *(e + 1), *begin);
  }
  for (const uint32_t v : entries) marks[v] = Mark();
}

template <typename Less>
size_t LoopCapper::ChordFreeStart(std::vector<uint32_t>::const_iterator begin,
                                  std::vector<uint32_t>::const_iterator end, const Less& less) {
  const size_t n = static_cast<size_t>(end - begin);
  // (vertex, entry), by vertex; a simple loop holds each vertex once.
  std::vector<std::pair<uint32_t, uint32_t>> entryOf;
  entryOf.reserve(n);
  for (size_t i = 0; i < n; ++i) entryOf.emplace_back(begin[i], static_cast<uint32_t>(i));
  std::sort(entryOf.begin(), entryOf.end());
  auto find = [&entryOf](uint32_t v) {
    const auto at = std::lower_bound(entryOf.begin(), entryOf.end(), std::make_pair(v, 0u));
    return at != entryOf.end() && at->first == v ? static_cast<int64_t>(at->second) : -1;
  };
  // Entries i and j are not next to each other: a fan from one makes a
  // chord to the other.
  auto apart = [n](size_t i, size_t j) {
    const size_t gap = (j + n - i) % n;
    return gap > 1 && gap < n - 1;
  };
  // A fan from either end of a pair apart in this loop would make the
  // pair's chord: the pairs the mesh joins, and (a pinch vertex sits in
  // other loops too) the chords between pinch vertices that the fans of
  // earlier loops made.
  std::vector<bool> chord(n, false);
  auto mark = [&](uint64_t pair) {
    const int64_t i = find(static_cast<uint32_t>(pair >> 32));
    const int64_t j = find(static_cast<uint32_t>(pair));
    if (i >= 0 && j >= 0 && apart(size_t(i), size_t(j))) chord[size_t(i)] = chord[size_t(j)] = true;
  };
  for (const uint64_t pair : outline.joined) mark(pair);
  for (const uint64_t pair : pinchChords) mark(pair);
  size_t best = n;
  for (size_t i = 0; i < n; ++i)
    if (!chord[i] && (best == n || less(begin[i], begin[best]))) best = i;
  if (best == n) best = static_cast<size_t>(std::min_element(begin, end, less) - begin);
  if (marks[begin[best]].uses > 1)
    for (size_t j = 0; j < n; ++j)
      if (marks[begin[j]].uses > 1 && apart(best, j))
        pinchChords.insert(uint64_t(std::min(begin[best], begin[j])) << 32 |
                           std::max(begin[best], begin[j]));
  return best;
}

void LoopCapper::Split(const std::deque<uint32_t>& loop) {
  path.clear();
  for (const uint32_t v : loop) {
    Mark& m = MarkOf(v);
    if (m.onPath == 0) {
      path.push_back(v);
      m.onPath = static_cast<uint32_t>(path.size());
      continue;
    }
    // From the earlier visit of v to the end the walk has come back to v,
    // and goes on from there.
    Close(m.onPath - 1, m.onPath);
  }
  Close(0, 0);
}

void LoopCapper::Close(size_t from, size_t keep) {
  for (size_t k = keep; k < path.size(); ++k) marks[path[k]].onPath = 0;
  if (path.size() - from >= 3) {
    entries.insert(entries.end(), path.begin() + static_cast<std::ptrdiff_t>(from), path.end());
    starts.push_back(entries.size());
  }
  path.resize(keep);
}

bool LoopCapper::Neighbours(uint32_t a, uint32_t b) const {
  // Read from the side of a vertex that sits in one loop only; two pinch
  // vertices never start a fan, so their edge does not matter.
  const Mark& p = marks[a].uses == 1 ? marks[a] : marks[b];
  const uint32_t other = marks[a].uses == 1 ? b : a;
  if (p.uses != 1) return true;
  const size_t begin = starts[p.loop], n = starts[p.loop + 1] - begin;
  return entries[begin + (p.at + 1) % n] == other || entries[begin + (p.at + n - 1) % n] == other;
}

// Gives every fan of triangles around a pinch vertex but the first a vertex
// of its own at the same place (a fan: the triangles around the vertex
// joined through their edges at it). Where the opening touches itself at a
// vertex, the surface runs front, back, front, back around that vertex of
// the plane: the half is there lumps that meet at one point only, which
// would be one part while they share it. With a vertex each they are parts
// of their own unless something else joins them; the surface stays closed,
// since both triangles on an edge at the vertex are in one fan. `users`,
// when given, are the only triangles below `capped` that use a pinch (the
// cut set's users, see vertex_index_set.h); the triangles from `capped` on
// are the caps. Without it every triangle is looked at.
void SeparateAtPinches(Mesh& mesh, const std::vector<uint32_t>& pinches,
                       const std::vector<uint32_t>* users, uint32_t capped) {
  constexpr uint32_t kNone = UINT32_MAX;
  const uint32_t vertexCount = mesh.VertexCount();
  std::vector<uint32_t> slotOf(vertexCount, kNone);
  for (size_t k = 0; k < pinches.size(); ++k)
    if (pinches[k] < vertexCount) slotOf[pinches[k]] = static_cast<uint32_t>(k);
  std::vector<std::vector<uint32_t>> around(pinches.size());  // triangles at each pinch
  const auto note = [&](uint32_t t) {
    for (const uint32_t v : mesh.triangles[t].indices)
      if (v < vertexCount && slotOf[v] != kNone) around[slotOf[v]].push_back(t);
  };
  // In ascending order either way, so that the same fan keeps the vertex.
  if (users != nullptr) {
    for (const uint32_t t : *users) note(t);
    for (uint32_t t = capped; t < mesh.TriangleCount(); ++t) note(t);
  } else {
    for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) note(t);
  }
  std::vector<uint32_t> parent;
  std::unordered_map<uint32_t, uint32_t> firstAt;  // other end of an edge at the pinch -> triangle
  for (size_t k = 0; k < pinches.size(); ++k) {
    const uint32_t pinch = pinches[k];
    const std::vector<uint32_t>& fan = around[k];
    parent.resize(fan.size());
    for (uint32_t i = 0; i < fan.size(); ++i) parent[i] = i;
    const auto find = [&parent](uint32_t i) {
      while (parent[i] != i) i = parent[i] = parent[parent[i]];
      return i;
    };
    firstAt.clear();
    for (uint32_t i = 0; i < fan.size(); ++i)
      for (const uint32_t w : mesh.triangles[fan[i]].indices) {
        if (w == pinch) continue;
        const auto found = firstAt.emplace(w, i);
        if (!found.second) parent[find(i)] = find(found.first->second);
      }
    const uint32_t first = fan.empty() ? 0 : find(0);
    std::unordered_map<uint32_t, uint32_t> copyOf;  // fan root -> its vertex
    for (uint32_t i = 0; i < fan.size(); ++i) {
      const uint32_t root = find(i);
      if (root == first) continue;
      auto copy = copyOf.find(root);
      if (copy == copyOf.end())
        copy = copyOf.emplace(root, mesh.AddVertex(Vertex(mesh.vertices[pinch]))).first;
      for (uint32_t& v : mesh.triangles[fan[i]].indices)
        if (v == pinch) v = copy->second;
      // The corner's new vertex is its fan's alone: the triple is new.
      mesh.NoteNewIndices(fan[i]);
    }
  }
}

}  // namespace

void CloseCut(Mesh& mesh, const VertexIndexSet& cutSet) {
  // The triangles that may use a vertex on the cut, while the half is as
  // the split left it (nullptr: any may); the caps come after them.
  const std::vector<uint32_t>* users = cutSet.Users(mesh.triangles.data(), mesh.triangles.size());
  const uint32_t capped = mesh.TriangleCount();
  const std::vector<BoundaryEdge> edges = FindBoundaryEdges(mesh, cutSet);
  const BoundaryLoopList loops = LinkBoundaryLoops(edges);
  // Kept between calls (per thread), like the other working arrays.
  static thread_local LoopCapper capper;
  capper.Cap(loops, CutEdges(), cutSet, mesh);
  // An open loop is fanned as it stands: the fan closes it with the chord
  // from its last entry back to its first.
  for (size_t i = 0; i < loops.size(); ++i)
    if (!loops.closed[i]) CapLoop(loops.loops[i], mesh);
  if (!capper.pinches.empty()) {
    // A loop vertex off the cut may be used by any triangle.
    bool onCut = users != nullptr;
    for (const uint32_t v : capper.pinches) onCut = onCut && cutSet.count(v) > 0;
    SeparateAtPinches(mesh, capper.pinches, onCut ? users : nullptr, capped);
  }
}
