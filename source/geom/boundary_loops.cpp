#include "geom/boundary_loops.h"

#include <algorithm>
#include <string>

#include "core/diagnostics.h"

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
//
// One builder is kept per thread and reset for each call: its arrays keep
// their memory from one cut to the next.
class LoopBuilder {
 public:
  // Starts over for `edgeCount` edges.
  void Reset(size_t edgeCount);
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

void LoopBuilder::Reset(size_t edgeCount) {
  values.clear();
  next.clear();
  loops.clear();
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
  // Each loop's entries are filled in place, and the list never regrows:
  // moving a deque leaves a freshly allocated one behind.
  const size_t alive = static_cast<size_t>(
      std::count_if(loops.begin(), loops.end(), [](const Loop& loop) { return loop.alive; }));
  list.loops.reserve(alive);
  list.closed.reserve(alive);
  for (const Loop& loop : loops) {
    if (!loop.alive) continue;
    std::deque<uint32_t>& entries = list.loops.emplace_back();
    for (int32_t e = loop.head; e >= 0; e = next[e]) entries.push_back(values[e]);
    list.closed.push_back(loop.closed);
  }
  return list;
}

}  // namespace

BoundaryLoopList LinkBoundaryLoops(const std::vector<BoundaryEdge>& edges) {
  static thread_local LoopBuilder builder;
  builder.Reset(edges.size());
  for (const BoundaryEdge& e : edges) builder.Add(e.first, e.second);
  BoundaryLoopList list = builder.Finish();
  const size_t numClosed = static_cast<size_t>(std::count(list.closed.begin(), list.closed.end(), true));
  // Both lines in one write: every log write is flushed to the console, a
  // system call each, and each cut closes two halves.
  diagnostics::Log("boundaryList.size() = " + std::to_string(list.size()) +
                   "\nnumClosed = " + std::to_string(numClosed));
  return list;
}
