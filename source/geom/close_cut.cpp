#include "geom/close_cut.h"

#include <algorithm>
#include <sstream>
#include <string>

#include "core/diagnostics.h"

namespace {

uint64_t EdgeKey(uint32_t a, uint32_t b) { return static_cast<uint64_t>(a) << 32 | b; }

}  // namespace

// ---------------------------------------------------------------------------
// Boundary edges
// ---------------------------------------------------------------------------

std::vector<BoundaryEdge> FindBoundaryEdges(const Mesh& mesh, const VertexIndexSet& cutSet) {
  std::vector<BoundaryEdge> boundary;
  if (cutSet.empty()) return boundary;

  // Cut membership as a flag per vertex: one array lookup per triangle corner
  // instead of a hash lookup, since every triangle must be looked at.
  uint32_t size = mesh.VertexCount();
  for (uint32_t v : cutSet) size = std::max(size, v + 1);
  // Kept between calls (per thread): reusing the memory spares the page
  // faults of a fresh array on every cut.
  static thread_local std::vector<uint8_t> onCut;
  onCut.assign(size, 0);
  for (uint32_t v : cutSet) onCut[v] = 1;
  auto cut = [&](uint32_t v) { return v < size && onCut[v] != 0; };

  // The directed edges (a, b) with an end on the cut, in triangle and corner
  // order.
  static thread_local std::vector<IndexPair> edges;
  edges.clear();
  for (const Triangle& tri : mesh.triangles) {
    const uint32_t* i = tri.indices;
    if (!(cut(i[0]) || cut(i[1]) || cut(i[2]))) continue;
    for (int c = 0; c < 3; ++c) {
      const uint32_t a = i[c], b = i[(c + 1) % 3];
      if (cut(a) || cut(b)) edges.emplace_back(a, b);
    }
  }
  if (edges.empty()) return boundary;

  // The successor table, as one open-addressing table over the directed
  // edges (for "does b's list hold a") and one over the source vertices with
  // a chain through the edges of each (the list of a, in insertion order).
  // Sources are visited in order of first appearance.
  size_t slots = 16;
  while (slots < 2 * edges.size()) slots <<= 1;
  const size_t mask = slots - 1;
  constexpr uint32_t kEmpty = UINT32_MAX;
  static thread_local std::vector<uint64_t> edgeKeys;      // directed edge set
  static thread_local std::vector<uint32_t> sourceSlots;   // vertex -> position in `sources`
  struct Source {
    uint32_t vertex, head, tail;
  };
  static thread_local std::vector<Source> sources;         // in order of first appearance
  static thread_local std::vector<uint32_t> chain;         // next edge of the same source
  edgeKeys.assign(slots, UINT64_MAX);  // never a real key: vertex indices stay below 2^32 - 1
  sourceSlots.assign(slots, kEmpty);
  sources.clear();
  chain.assign(edges.size(), kEmpty);
  auto mix = [](uint64_t key) { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20); };
  for (uint32_t k = 0; k < edges.size(); ++k) {
    const uint64_t key = EdgeKey(edges[k].first, edges[k].second);
    for (size_t h = mix(key) & mask;; h = (h + 1) & mask)
      if (edgeKeys[h] == key || edgeKeys[h] == UINT64_MAX) {
        edgeKeys[h] = key;
        break;
      }
    const uint32_t a = edges[k].first;
    for (size_t h = mix(a) & mask;; h = (h + 1) & mask) {
      if (sourceSlots[h] == kEmpty) {
        sourceSlots[h] = static_cast<uint32_t>(sources.size());
        sources.push_back(Source{a, k, k});
        break;
      }
      Source& src = sources[sourceSlots[h]];
      if (src.vertex == a) {
        chain[src.tail] = k;
        src.tail = k;
        break;
      }
    }
  }
  auto present = [&](uint64_t key) {
    for (size_t h = mix(key) & mask;; h = (h + 1) & mask) {
      if (edgeKeys[h] == key) return true;
      if (edgeKeys[h] == UINT64_MAX) return false;
    }
  };
  for (const Source& src : sources)
    for (uint32_t k = src.head; k != kEmpty; k = chain[k]) {
      const IndexPair& e = edges[k];
      if (!present(EdgeKey(e.second, e.first))) boundary.emplace_back(e.second, e.first);
    }
  return boundary;
}

// ---------------------------------------------------------------------------
// Loops
// ---------------------------------------------------------------------------

namespace {

// Loops under construction. Entries live in one pool as singly linked lists,
// so growing a loop at either end and merging two loops are O(1). Loop ids
// count up in creation order; merging removes a loop without reordering the
// others, so list order is id order among the live loops.
//
// The open loops are filed by their first and by their last entry: a small
// hash table maps a vertex to the head of an intrusive list of the open loops
// that start (or end) there. An edge then finds its front- and back-match by
// looking at the loops filed under its two vertices (almost always one or
// none) instead of scanning every loop.
class LoopBuilder {
 public:
  explicit LoopBuilder(size_t edgeCount);
  void Add(uint32_t s, uint32_t t);
  BoundaryLoopList Finish();

 private:
  enum End { kFirst = 0, kLast = 1 };
  struct Loop {
    int32_t head, tail;     // pool entries
    uint32_t ends[2];       // first and last vertex
    int32_t filedNext[2];   // next / previous loop filed under the same vertex
    int32_t filedPrev[2];
    bool alive, closed;
  };
  struct Filed {
    uint32_t vertex;
    int32_t heads[2];  // first open loop filed under the vertex, per end
    bool used;
  };

  int32_t& Head(End end, uint32_t v) {
    const size_t mask = table.size() - 1;
    for (size_t i = (v * 0x9E3779B1u) & mask;; i = (i + 1) & mask) {
      Filed& f = table[i];
      if (!f.used) f = Filed{v, {-1, -1}, true};
      if (f.vertex == v) return f.heads[end];
    }
  }
  int32_t NewEntry(uint32_t v) {
    values.push_back(v);
    next.push_back(-1);
    return static_cast<int32_t>(values.size() - 1);
  }
  // The open loop with the highest id (the last in list order) whose `end`
  // entry is v, or -1.
  int32_t Latest(End end, uint32_t v) {
    int32_t best = -1;
    for (int32_t id = Head(end, v); id >= 0; id = loops[id].filedNext[end]) best = std::max(best, id);
    return best;
  }
  void File(End end, int32_t id) {
    Loop& loop = loops[id];
    int32_t& head = Head(end, loop.ends[end]);
    loop.filedPrev[end] = -1;
    loop.filedNext[end] = head;
    if (head >= 0) loops[head].filedPrev[end] = id;
    head = id;
  }
  void Unfile(End end, int32_t id) {
    Loop& loop = loops[id];
    const int32_t prev = loop.filedPrev[end], after = loop.filedNext[end];
    if (prev >= 0) {
      loops[prev].filedNext[end] = after;
    } else {
      Head(end, loop.ends[end]) = after;
    }
    if (after >= 0) loops[after].filedPrev[end] = prev;
  }

  std::vector<uint32_t> values;
  std::vector<int32_t> next;
  std::vector<Loop> loops;
  std::vector<Filed> table;  // open addressing, at most half full
};

LoopBuilder::LoopBuilder(size_t edgeCount) {
  values.reserve(2 * edgeCount);
  next.reserve(2 * edgeCount);
  // Every edge names at most two new vertices.
  size_t n = 16;
  while (n < 4 * edgeCount + 2) n <<= 1;
  table.assign(n, Filed{0, {-1, -1}, false});
}

void LoopBuilder::Add(uint32_t s, uint32_t t) {
  const int32_t f = Latest(kFirst, t);  // front-match: an open loop starting at t
  const int32_t b = Latest(kLast, s);   // back-match: an open loop ending at s
  if (f < 0 && b < 0) {
    const int32_t hs = NewEntry(s), ht = NewEntry(t);
    next[hs] = ht;
    const int32_t id = static_cast<int32_t>(loops.size());
    loops.push_back(Loop{hs, ht, {s, t}, {-1, -1}, {-1, -1}, true, false});
    File(kFirst, id);
    File(kLast, id);
  } else if (f < 0) {
    const int32_t e = NewEntry(t);
    Unfile(kLast, b);
    Loop& loop = loops[b];
    next[loop.tail] = e;
    loop.tail = e;
    loop.ends[kLast] = t;
    File(kLast, b);
  } else if (b < 0) {
    const int32_t e = NewEntry(s);
    Unfile(kFirst, f);
    Loop& loop = loops[f];
    next[e] = loop.head;
    loop.head = e;
    loop.ends[kFirst] = s;
    File(kFirst, f);
  } else if (f == b) {
    Unfile(kFirst, f);
    Unfile(kLast, f);
    loops[f].closed = true;
  } else {
    // The front-match's entries go after the back-match's; the front-match
    // leaves the list.
    Unfile(kLast, b);
    Unfile(kFirst, f);
    Unfile(kLast, f);
    Loop& back = loops[b];
    Loop& front = loops[f];
    next[back.tail] = front.head;
    back.tail = front.tail;
    back.ends[kLast] = front.ends[kLast];
    front.alive = false;
    File(kLast, b);
  }
}

BoundaryLoopList LoopBuilder::Finish() {
  BoundaryLoopList list;
  for (const Loop& loop : loops) {
    if (!loop.alive) continue;
    std::deque<uint32_t> entries;
    for (int32_t e = loop.head; e >= 0; e = next[e]) entries.push_back(values[e]);
    list.loops.push_back(std::move(entries));
    list.closed.push_back(loop.closed);
  }
  return list;
}

}  // namespace

BoundaryLoopList LinkBoundaryLoops(const std::vector<BoundaryEdge>& edges) {
  LoopBuilder builder(edges.size());
  for (const BoundaryEdge& e : edges) builder.Add(e.first, e.second);
  BoundaryLoopList list = builder.Finish();
  const size_t numClosed = static_cast<size_t>(std::count(list.closed.begin(), list.closed.end(), true));
  diagnostics::Log("boundaryList.size() = " + std::to_string(list.size()));
  diagnostics::Log("numClosed = " + std::to_string(numClosed));
  return list;
}

void CapLoop(const std::deque<uint32_t>& loop, Mesh& mesh) {
  if (loop.size() < 3) return;
  for (size_t k = 0; k + 2 < loop.size(); ++k) mesh.AddTriangle(loop[0], loop[k + 1], loop[k + 2]);
}

void CloseCut(Mesh& mesh, const VertexIndexSet& cutSet) {
  const std::vector<BoundaryEdge> edges = FindBoundaryEdges(mesh, cutSet);
  const BoundaryLoopList loops = LinkBoundaryLoops(edges);
  for (const std::deque<uint32_t>& loop : loops.loops) CapLoop(loop, mesh);
}

// ---------------------------------------------------------------------------
// Degeneracy
// ---------------------------------------------------------------------------

namespace {

// Compressed per-vertex lists: the entries of vertex v are
// items[offsets[v] .. offsets[v + 1]).
struct VertexLists {
  std::vector<uint32_t> offsets;
  std::vector<uint32_t> items;
  const uint32_t* Begin(uint32_t v) const { return items.data() + offsets[v]; }
  const uint32_t* End(uint32_t v) const { return items.data() + offsets[v + 1]; }
};

// Fast sufficient test for "no offending triangle". For triangle T the set S
// is T plus every triangle holding both ends of one of T's edges. When no
// triangle repeats a vertex and no directed edge occurs twice, the triangles
// holding both ends of an edge {a, b} hold it as (a, b) or as (b, a), so
// there are at most two of them, T included; S then has at most 1 + 3 = 4
// entries for every T. Checking that each vertex's outgoing edges go to
// distinct vertices needs one pass and per-vertex lists of about six entries,
// where the full test intersects sorted lists for every edge of every
// triangle. Closed surfaces pass; anything else takes the full test.
bool DirectedEdgesUnique(const Mesh& mesh) {
  const std::vector<Triangle>& triangles = mesh.triangles;
  const uint32_t listSize = mesh.VertexCount();
  // Kept between calls (per thread): reusing the memory spares the page
  // faults of fresh arrays on every check.
  static thread_local VertexLists out;  // successors of each vertex
  static thread_local std::vector<uint32_t> corners;  // the index triples, packed
  // One pass over the (large) triangle records; the rest reads the packed copy.
  out.offsets.assign(static_cast<size_t>(listSize) + 1, 0);
  corners.resize(triangles.size() * 3);
  uint32_t* packed = corners.data();
  for (const Triangle& tri : triangles) {
    const uint32_t a = tri.indices[0], b = tri.indices[1], c = tri.indices[2];
    // Out-of-range indices are left to the full test.
    if (a == b || b == c || c == a || a >= listSize || b >= listSize || c >= listSize) return false;
    ++out.offsets[a + 1];
    ++out.offsets[b + 1];
    ++out.offsets[c + 1];
    *packed++ = a;
    *packed++ = b;
    *packed++ = c;
  }
  for (size_t v = 1; v < out.offsets.size(); ++v) out.offsets[v] += out.offsets[v - 1];
  out.items.resize(triangles.size() * 3);
  // Fill each list by advancing its start, then shift the starts back.
  uint32_t* start = out.offsets.data();
  for (size_t k = 0; k < corners.size(); k += 3) {
    const uint32_t a = corners[k], b = corners[k + 1], c = corners[k + 2];
    out.items[start[a]++] = b;
    out.items[start[b]++] = c;
    out.items[start[c]++] = a;
  }
  for (size_t v = out.offsets.size() - 1; v > 0; --v) out.offsets[v] = out.offsets[v - 1];
  out.offsets[0] = 0;
  std::vector<uint32_t> sorted;
  for (uint32_t v = 0; v < listSize; ++v) {
    const uint32_t* begin = out.Begin(v);
    const uint32_t* end = out.End(v);
    const size_t n = static_cast<size_t>(end - begin);
    // Fans are small; a vertex with many triangles (the centre of a cap fan)
    // is checked by sorting instead of comparing pairs.
    constexpr size_t kPairwiseLimit = 16;
    if (n <= kPairwiseLimit) {
      for (const uint32_t* a = begin; a != end; ++a)
        for (const uint32_t* b = a + 1; b != end; ++b)
          if (*a == *b) return false;
    } else {
      sorted.assign(begin, end);
      std::sort(sorted.begin(), sorted.end());
      if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return false;
    }
  }
  return true;
}

std::string TriangleLine(const Mesh& mesh, uint32_t t) {
  const uint32_t* i = mesh.triangles[t].indices;
  std::ostringstream line;
  line << t << " : (" << i[0] << "," << i[1] << "," << i[2] << ") = " << mesh.TriangleArea(t)
       << "\n";
  return line.str();
}

// The report for offending triangle t: its shared edge counts and the
// triangles that share exactly two corners with it.
std::string DegeneracyReport(const Mesh& mesh, uint32_t t) {
  const uint32_t* ti = mesh.triangles[t].indices;
  int shared[3] = {0, 0, 0};
  std::vector<uint32_t> neighbours;
  for (uint32_t u = 0; u < mesh.TriangleCount(); ++u) {
    if (u == t) continue;
    const uint32_t* ui = mesh.triangles[u].indices;
    bool marked[3] = {false, false, false};
    int matches = 0;
    for (int c = 0; c < 3; ++c) {
      bool matched = false;
      for (int k = 0; k < 3; ++k)
        if (ui[c] == ti[k]) {
          marked[k] = true;
          matched = true;
        }
      matches += matched;
    }
    if (matches != 2) continue;
    neighbours.push_back(u);
    for (int e = 0; e < 3; ++e)
      if (marked[e] && marked[(e + 1) % 3]) ++shared[e];
  }
  std::ostringstream report;
  report << "Triangle\n" << TriangleLine(mesh, t) << "Shared edge counts\n";
  for (int e = 0; e < 3; ++e)
    report << "(" << ti[e] << "," << ti[(e + 1) % 3] << ") : " << shared[e] << "\n";
  report << "Neighbor triangles\n";
  for (uint32_t u : neighbours) report << TriangleLine(mesh, u);
  return report.str();
}

}  // namespace

bool IsDegenerate(const Mesh& mesh) {
  if (DirectedEdgesUnique(mesh)) return false;
  const uint32_t listSize = mesh.VertexCount();
  // A triangle naming a vertex the mesh does not have is no surface at all;
  // the per-vertex lists below (sized by index) and the report (which reads
  // corner positions) need every index in range.
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
    for (uint32_t i : mesh.triangles[t].indices)
      if (i >= listSize) {
        diagnostics::Log("Triangle " + std::to_string(t) + " names missing vertex " + std::to_string(i));
        return true;
      }

  // The full test. Triangles of each vertex, ascending (filled in triangle order).
  VertexLists uses;
  uses.offsets.assign(static_cast<size_t>(listSize) + 1, 0);
  for (const Triangle& tri : mesh.triangles)
    for (uint32_t i : tri.indices) ++uses.offsets[i + 1];
  for (size_t v = 1; v < uses.offsets.size(); ++v) uses.offsets[v] += uses.offsets[v - 1];
  uses.items.resize(mesh.triangles.size() * 3);
  {
    std::vector<uint32_t> fill(uses.offsets.begin(), uses.offsets.end() - 1);
    for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
      for (uint32_t i : mesh.triangles[t].indices) uses.items[fill[i]++] = t;
  }

  // S: T and every triangle in both endpoint lists of one of T's edges. A
  // triangle using a vertex twice is listed twice; S is a set, so repeats
  // collapse.
  std::vector<uint32_t> s;
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
    s.clear();
    const uint32_t* i = mesh.triangles[t].indices;
    for (int e = 0; e < 3; ++e) {
      const uint32_t a = i[e], b = i[(e + 1) % 3];
      std::set_intersection(uses.Begin(a), uses.End(a), uses.Begin(b), uses.End(b),
                            std::back_inserter(s));
    }
    std::sort(s.begin(), s.end());
    const size_t distinct = static_cast<size_t>(std::unique(s.begin(), s.end()) - s.begin());
    if (distinct > 4) {
      diagnostics::Log(DegeneracyReport(mesh, t));
      return true;
    }
  }
  return false;
}
