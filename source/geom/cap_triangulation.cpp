#include "geom/cap_triangulation.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "core/diagnostics.h"

namespace {

constexpr uint32_t kNone = UINT32_MAX;
constexpr double kTwoPi = 6.283185307179586;
// The largest ratio of an angle in [0, pi] to its diamond angle (|y| /
// (|x| + |y|) in the first quadrant, 2 minus that in the second): 1.66656,
// near 69 degrees. An upper bound on a sum of angles from their diamond
// angles alone.
constexpr double kDiamondBound = 5.0 / 3.0;

// A point of the projected outline, in double: first the vertex's two
// coordinates across the nearest axis (exact, for the canonical order), then
// its coordinates across the cap's normal.
struct Point {
  double x, y;
  uint32_t vertex;
};

bool Before(const Point& a, const Point& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); }

// Twice the signed area of triangle (a, b, c): positive when it turns left.
double Orient(double ax, double ay, double bx, double by, double cx, double cy) {
  return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

// The axis frame: coordinates u, v of the coordinate plane most nearly
// parallel to the loops, chosen so that (u, v, normal axis) is right-handed, which makes a
// loop that winds about the axis's positive direction turn left (positive
// area). `flip`: the cap faces the axis's negative direction, so the loops
// are read backwards (and the triangles written back the other way) to work
// with outlines that turn left whichever half is capped.
struct Frame {
  int u = 0, v = 1;
  bool flip = false;
  float normal[3] = {0.0f, 0.0f, 0.0f};  // the cap's outward unit normal
};

bool MakeFrame(const CapOutline& outline, const Mesh& mesh, Frame& frame) {
  // Newell's sum: twice the vector area of all loops together. Outlines and
  // islands count positive, holes negative, so the sum points out of the cap
  // with a length of twice the cap's area.
  double n[3] = {0.0, 0.0, 0.0};
  for (size_t k = 0; k + 1 < outline.starts.size(); ++k) {
    const size_t begin = outline.starts[k], end = outline.starts[k + 1];
    for (size_t e = begin; e < end; ++e) {
      const Vertex& p = mesh.vertices[outline.entries[e]];
      const Vertex& q = mesh.vertices[outline.entries[e + 1 < end ? e + 1 : begin]];
      n[0] += (double(p.y) - q.y) * (double(p.z) + q.z);
      n[1] += (double(p.z) - q.z) * (double(p.x) + q.x);
      n[2] += (double(p.x) - q.x) * (double(p.y) + q.y);
    }
  }
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(length > 0.0) || !std::isfinite(length)) return false;
  int axis = 0;
  for (int a = 1; a < 3; ++a)
    if (std::fabs(n[a]) > std::fabs(n[axis])) axis = a;
  frame.u = (axis + 1) % 3;
  frame.v = (axis + 2) % 3;
  frame.flip = n[axis] < 0.0;
  for (int a = 0; a < 3; ++a) frame.normal[a] = static_cast<float>(n[a] / length);
  return true;
}

// Unit vectors e1, e2 across the normal n with e1 x e2 along n, so that a
// loop winding about n turns left in (e1, e2).
bool Basis(const double n[3], double e1[3], double e2[3]) {
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(length > 0.0) || !std::isfinite(length)) return false;
  const double u[3] = {n[0] / length, n[1] / length, n[2] / length};
  int least = 0;  // the axis least along n, crossed with it
  for (int a = 1; a < 3; ++a)
    if (std::fabs(u[a]) < std::fabs(u[least])) least = a;
  double h[3] = {0.0, 0.0, 0.0};
  h[least] = 1.0;
  const double c[3] = {h[1] * u[2] - h[2] * u[1], h[2] * u[0] - h[0] * u[2], h[0] * u[1] - h[1] * u[0]};
  const double lc = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
  for (int a = 0; a < 3; ++a) e1[a] = c[a] / lc;
  e2[0] = u[1] * e1[2] - u[2] * e1[1];
  e2[1] = u[2] * e1[0] - u[0] * e1[2];
  e2[2] = u[0] * e1[1] - u[1] * e1[0];
  return true;
}

double Coordinate(const Vertex& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

// One loop in canonical form: turning left for an outline, starting at its
// least point (x, then y).
struct Loop {
  std::vector<Point> points;
  double area = 0.0;  // twice the signed area
  double minX, minY, maxX, maxY;
  uint32_t container = kNone;  // for a hole: the outline around it
};

// Even-odd crossing test: 1 inside, 0 outside, -1 on a vertex of the loop
// (undecided; the caller tries another point).
int Contains(const Loop& loop, const Point& p) {
  if (p.x < loop.minX || p.x > loop.maxX || p.y < loop.minY || p.y > loop.maxY) return 0;
  bool inside = false;
  const size_t n = loop.points.size();
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const Point &a = loop.points[i], &b = loop.points[j];
    if (a.x == p.x && a.y == p.y) return -1;
    if ((a.y > p.y) != (b.y > p.y)) {
      const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
      if (p.x < x) inside = !inside;
    }
  }
  return inside ? 1 : 0;
}

// The outline as a ring of nodes, holes bridged in, clipped ear by ear.
class EarClipper {
 public:
  EarClipper(const std::vector<uint64_t>& joined, std::vector<uint32_t>& triangles)
      : joined(joined), triangles(triangles) {}

  // Starts a ring from a loop; returns its first node.
  uint32_t AddRing(const Loop& loop);
  // Joins a hole's ring (first node = its leftmost point) to the ring that
  // `outer` is on; false when no bridge is found.
  bool Bridge(uint32_t hole, uint32_t outer);
  // Where the bridge found runs along an edge the mesh has (a face lying in
  // the cut joins the hole to its outline), the nearest other ring node
  // that sees the hole point and is not joined to it; `found` if none.
  uint32_t UnjoinedBridge(uint32_t hole, uint32_t outer, uint32_t found) const;
  // Whether segment a-b crosses an edge of the ring through `ring` (edges
  // touching a or b's place do not count).
  bool Crosses(uint32_t a, uint32_t b, uint32_t ring) const;
  // Triangulates the ring that `start` is on. False when a fan had to close
  // part of it.
  bool Clip(uint32_t start);

 private:
  struct Node {
    double x, y;
    uint32_t vertex;
    uint32_t prev, next;
    // The ring's nodes in z-order (Morton order of the position on a grid
    // over the ring's bounds): the nodes inside a box are found among those
    // whose z lies between the z of its corners, without a walk round the
    // whole ring for every ear.
    uint32_t z = 0;
    uint32_t prevZ = kNone, nextZ = kNone;
  };
  struct Grid {
    double minX = 0.0, minY = 0.0, scale = 0.0;
  };

  // Sorts the ring's nodes into z-order.
  void IndexZ(uint32_t start);
  uint32_t ZOrder(double x, double y) const {
    auto spread = [](uint32_t v) {  // the 15 low bits, one apart
      v = (v | (v << 8)) & 0x00FF00FFu;
      v = (v | (v << 4)) & 0x0F0F0F0Fu;
      v = (v | (v << 2)) & 0x33333333u;
      return (v | (v << 1)) & 0x55555555u;
    };
    auto cell = [this](double d) {
      return static_cast<uint32_t>(std::min(32767.0, std::max(0.0, d * grid.scale)));
    };
    return spread(cell(x - grid.minX)) | spread(cell(y - grid.minY)) << 1;
  }

  double Turn(uint32_t a, uint32_t b, uint32_t c) const {
    return Orient(nodes[a].x, nodes[a].y, nodes[b].x, nodes[b].y, nodes[c].x, nodes[c].y);
  }
  bool SamePlace(uint32_t a, uint32_t b) const {
    return nodes[a].x == nodes[b].x && nodes[a].y == nodes[b].y;
  }
  static uint64_t PairKey(uint32_t a, uint32_t b) {
    return uint64_t(std::min(a, b)) << 32 | std::max(a, b);
  }
  // Whether the mesh joins a and b by an edge, or the triangulation has
  // made a diagonal between them already: a vertex may have several nodes
  // (a pinch, a splice), and a second diagonal between the same two
  // vertices would double the edge as surely as one along the mesh's.
  bool Joined(uint32_t a, uint32_t b) const {
    const uint64_t key = PairKey(a, b);
    return made.count(key) != 0 || std::binary_search(joined.begin(), joined.end(), key);
  }
  bool IsEar(uint32_t ear) const;
  bool LocallyInside(uint32_t a, uint32_t b) const;
  bool SectorContainsSector(uint32_t m, uint32_t p) const;
  uint32_t Copy(uint32_t a) {
    nodes.push_back(nodes[a]);
    return static_cast<uint32_t>(nodes.size() - 1);
  }
  void Emit(uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t i = nodes[a].vertex, j = nodes[b].vertex, k = nodes[c].vertex;
    // Two nodes of one vertex (the two sides of a bridge, a pinch): the
    // triangle would hold an edge and its reverse, which cancel; leave it out.
    if (i == j || j == k || k == i) return;
    triangles.insert(triangles.end(), {i, j, k});
  }
  void Remove(uint32_t n) {
    Node& node = nodes[n];
    nodes[node.prev].next = node.next;
    nodes[node.next].prev = node.prev;
    if (node.prevZ != kNone) nodes[node.prevZ].nextZ = node.nextZ;
    if (node.nextZ != kNone) nodes[node.nextZ].prevZ = node.prevZ;
  }

  const std::vector<uint64_t>& joined;
  std::unordered_set<uint64_t> made;  // diagonals made so far (bridges, clipped ears)
  std::vector<uint32_t>& triangles;
  std::vector<Node> nodes;
  Grid grid;
  std::vector<uint32_t> order;  // scratch for IndexZ
};

uint32_t EarClipper::AddRing(const Loop& loop) {
  const uint32_t first = static_cast<uint32_t>(nodes.size());
  const uint32_t n = static_cast<uint32_t>(loop.points.size());
  for (uint32_t i = 0; i < n; ++i) {
    const Point& p = loop.points[i];
    Node node;
    node.x = p.x;
    node.y = p.y;
    node.vertex = p.vertex;
    node.prev = first + (i + n - 1) % n;
    node.next = first + (i + 1) % n;
    nodes.push_back(node);
  }
  return first;
}

// Whether the diagonal a -> b leaves a into the region: within a's corner.
bool EarClipper::LocallyInside(uint32_t a, uint32_t b) const {
  const uint32_t prev = nodes[a].prev, next = nodes[a].next;
  if (Turn(prev, a, next) > 0.0) return Turn(a, b, next) <= 0.0 && Turn(a, prev, b) <= 0.0;
  return Turn(a, b, prev) > 0.0 || Turn(a, next, b) > 0.0;
}

// Whether p's corner lies within m's (both at one place): of two nodes of
// one vertex, the bridge must leave from the corner that faces the hole.
bool EarClipper::SectorContainsSector(uint32_t m, uint32_t p) const {
  return Turn(nodes[m].prev, m, nodes[p].prev) > 0.0 && Turn(nodes[p].next, m, nodes[m].next) > 0.0;
}

bool EarClipper::Bridge(uint32_t hole, uint32_t outer) {
  // A hole that shares a vertex with the ring (an opening pinched there,
  // which CloseCut cut into an outline and a hole) is spliced in at that
  // vertex: ring into it, round the hole, and on along the ring. A bridge
  // elsewhere would leave two corners of one vertex that the ears could
  // join by the same edge twice.
  std::unordered_map<uint32_t, uint32_t> ringNode;
  uint32_t p = outer;
  do {
    ringNode.emplace(nodes[p].vertex, p);
    p = nodes[p].next;
  } while (p != outer);
  p = hole;
  do {
    const auto shared = ringNode.find(nodes[p].vertex);
    if (shared != ringNode.end()) {
      const uint32_t m = shared->second, mNext = nodes[m].next, after = nodes[p].next;
      nodes[m].next = after;
      nodes[after].prev = m;
      nodes[p].next = mNext;
      nodes[mNext].prev = p;
      return true;
    }
    p = nodes[p].next;
  } while (p != hole);

  const double hx = nodes[hole].x, hy = nodes[hole].y;
  // The nearest edge that a ray from the hole's leftmost point towards -x
  // meets from inside the region (an edge running down: the region lies on
  // the left of every edge), and its end further left.
  double qx = -std::numeric_limits<double>::infinity();
  uint32_t m = kNone;
  p = outer;
  do {
    const Node& a = nodes[p];
    const Node& b = nodes[a.next];
    if (hy <= a.y && hy >= b.y && b.y != a.y) {
      const double x = a.x + (hy - a.y) * (b.x - a.x) / (b.y - a.y);
      if (x <= hx && x > qx) {
        qx = x;
        m = a.x < b.x ? p : a.next;
        if (x == hx) break;  // the hole touches the edge
      }
    }
    p = a.next;
  } while (p != outer);
  if (m == kNone) return false;

  if (qx != hx) {
    // A ring vertex inside the triangle (hole point, ray hit, m) would hide
    // m; of those the one nearest the ray in angle is seen from the hole.
    const uint32_t stop = m;
    const double mx = nodes[m].x, my = nodes[m].y;
    double tanMin = std::numeric_limits<double>::infinity();
    p = m;
    do {
      const Node& n = nodes[p];
      if (hx >= n.x && n.x >= mx && hx != n.x) {
        const double ax = hy < my ? hx : qx, cx = hy < my ? qx : hx;
        const double d1 = Orient(ax, hy, mx, my, n.x, n.y), d2 = Orient(mx, my, cx, hy, n.x, n.y),
                     d3 = Orient(cx, hy, ax, hy, n.x, n.y);
        const bool inside = (d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0);
        if (inside && LocallyInside(p, hole)) {
          const double tan = std::fabs(hy - n.y) / (hx - n.x);
          if (tan < tanMin ||
              (tan == tanMin && (n.x > nodes[m].x ||
                                 (n.x == nodes[m].x && SectorContainsSector(m, p))))) {
            m = p;
            tanMin = tan;
          }
        }
      }
      p = n.next;
    } while (p != stop);
  }

  if (Joined(nodes[m].vertex, nodes[hole].vertex)) m = UnjoinedBridge(hole, outer, m);

  // m -> hole -> around the hole -> hole' -> m' -> on around the ring.
  made.insert(PairKey(nodes[m].vertex, nodes[hole].vertex));
  const uint32_t m2 = Copy(m), h2 = Copy(hole);
  const uint32_t mNext = nodes[m].next, hPrev = nodes[hole].prev;
  nodes[m].next = hole;
  nodes[hole].prev = m;
  nodes[m2].next = mNext;
  nodes[mNext].prev = m2;
  nodes[h2].next = m2;
  nodes[m2].prev = h2;
  nodes[hPrev].next = h2;
  nodes[h2].prev = hPrev;
  return true;
}

bool EarClipper::Crosses(uint32_t a, uint32_t b, uint32_t ring) const {
  const Node &A = nodes[a], &B = nodes[b];
  uint32_t p = ring;
  do {
    const uint32_t q = nodes[p].next;
    if (!SamePlace(p, a) && !SamePlace(p, b) && !SamePlace(q, a) && !SamePlace(q, b)) {
      const Node &P = nodes[p], &Q = nodes[q];
      const double d1 = Orient(A.x, A.y, B.x, B.y, P.x, P.y), d2 = Orient(A.x, A.y, B.x, B.y, Q.x, Q.y);
      const double d3 = Orient(P.x, P.y, Q.x, Q.y, A.x, A.y), d4 = Orient(P.x, P.y, Q.x, Q.y, B.x, B.y);
      if ((d1 > 0.0) != (d2 > 0.0) && (d3 > 0.0) != (d4 > 0.0)) return true;
    }
    p = q;
  } while (p != ring);
  return false;
}

uint32_t EarClipper::UnjoinedBridge(uint32_t hole, uint32_t outer, uint32_t found) const {
  std::vector<std::pair<double, uint32_t>> candidates;
  uint32_t p = outer;
  do {
    const double dx = nodes[p].x - nodes[hole].x, dy = nodes[p].y - nodes[hole].y;
    if (!Joined(nodes[p].vertex, nodes[hole].vertex)) candidates.emplace_back(dx * dx + dy * dy, p);
    p = nodes[p].next;
  } while (p != outer);
  std::sort(candidates.begin(), candidates.end());
  // Each test is a walk round both rings; a few of the nearest will do.
  constexpr size_t kTries = 16;
  for (size_t i = 0; i < candidates.size() && i < kTries; ++i) {
    const uint32_t c = candidates[i].second;
    if (LocallyInside(c, hole) && LocallyInside(hole, c) && !Crosses(c, hole, outer) &&
        !Crosses(c, hole, hole))
      return c;
  }
  return found;
}

bool EarClipper::IsEar(uint32_t ear) const {
  const uint32_t a = nodes[ear].prev, c = nodes[ear].next;
  if (!(Turn(a, ear, c) > 0.0)) return false;  // reflex or straight
  const Node &A = nodes[a], &B = nodes[ear], &C = nodes[c];
  const double minX = std::min({A.x, B.x, C.x}), maxX = std::max({A.x, B.x, C.x});
  const double minY = std::min({A.y, B.y, C.y}), maxY = std::max({A.y, B.y, C.y});
  // No other node that is not convex may lie in the triangle or on its
  // sides (a convex one inside implies such a one); nodes at the corners'
  // places (the other side of a bridge) do not count. Only nodes in the
  // triangle's box can, and those lie within its corners' z range.
  auto blocks = [&](uint32_t p) {
    const Node& P = nodes[p];
    if (p == a || p == c || P.x < minX || P.x > maxX || P.y < minY || P.y > maxY) return false;
    if (SamePlace(p, a) || SamePlace(p, ear) || SamePlace(p, c)) return false;
    return Orient(A.x, A.y, B.x, B.y, P.x, P.y) >= 0.0 &&
           Orient(B.x, B.y, C.x, C.y, P.x, P.y) >= 0.0 &&
           Orient(C.x, C.y, A.x, A.y, P.x, P.y) >= 0.0 && Turn(P.prev, p, P.next) <= 0.0;
  };
  const uint32_t minZ = ZOrder(minX, minY), maxZ = ZOrder(maxX, maxY);
  for (uint32_t p = B.nextZ; p != kNone && nodes[p].z <= maxZ; p = nodes[p].nextZ)
    if (blocks(p)) return false;
  for (uint32_t p = B.prevZ; p != kNone && nodes[p].z >= minZ; p = nodes[p].prevZ)
    if (blocks(p)) return false;
  return true;
}

void EarClipper::IndexZ(uint32_t start) {
  order.clear();
  double minX = nodes[start].x, maxX = minX, minY = nodes[start].y, maxY = minY;
  uint32_t p = start;
  do {
    order.push_back(p);
    minX = std::min(minX, nodes[p].x);
    maxX = std::max(maxX, nodes[p].x);
    minY = std::min(minY, nodes[p].y);
    maxY = std::max(maxY, nodes[p].y);
    p = nodes[p].next;
  } while (p != start);
  const double size = std::max(maxX - minX, maxY - minY);
  grid = Grid{minX, minY, size > 0.0 ? 32767.0 / size : 0.0};
  for (const uint32_t q : order) nodes[q].z = ZOrder(nodes[q].x, nodes[q].y);
  std::sort(order.begin(), order.end(),
            [this](uint32_t l, uint32_t r) { return nodes[l].z < nodes[r].z; });
  for (size_t i = 0; i < order.size(); ++i) {
    nodes[order[i]].prevZ = i > 0 ? order[i - 1] : kNone;
    nodes[order[i]].nextZ = i + 1 < order.size() ? order[i + 1] : kNone;
  }
}

bool EarClipper::Clip(uint32_t start) {
  // Proper ears first, round the ring from the last clip on. Where a whole
  // round finds none, one more round picks the best of what is left, in
  // this order: a straight corner (a node on the line through its
  // neighbours, or a spike), clipped as a triangle of no area; a convex
  // corner, whatever lies inside; any corner; a proper ear on a diagonal the
  // mesh has already. A doubled edge would leave the half open, which is
  // worse than a cap that folds over itself, so it comes last. If nothing
  // is left the rest is fanned. Only an outline that crosses itself needs
  // more than proper ears, as where vertices within the side test's band
  // zigzag about the plane on a mesh finer than the band.
  IndexZ(start);
  uint32_t ear = start, stop = start;
  size_t count = 1;
  for (uint32_t p = nodes[start].next; p != start; p = nodes[p].next) ++count;
  auto clip = [&](uint32_t node) {
    const uint32_t next = nodes[node].next;
    made.insert(PairKey(nodes[nodes[node].prev].vertex, nodes[next].vertex));
    Emit(nodes[node].prev, node, next);
    Remove(node);
    --count;
    // Going on two nodes further spreads the ears round the ring instead
    // of fanning from one node, which keeps slivers down.
    ear = stop = nodes[next].next;
  };
  while (count > 3) {
    const uint32_t prev = nodes[ear].prev, next = nodes[ear].next;
    if (!Joined(nodes[prev].vertex, nodes[next].vertex) && IsEar(ear)) {
      clip(ear);
      continue;
    }
    ear = next;
    if (ear != stop) continue;
    enum { kStraight, kConvex, kAny, kJoinedEar, kKinds };
    uint32_t best[kKinds] = {kNone, kNone, kNone, kNone};
    uint32_t p = ear;
    do {
      const uint32_t a = nodes[p].prev, c = nodes[p].next;
      const Node &A = nodes[a], &B = nodes[p], &C = nodes[c];
      if (Joined(A.vertex, C.vertex)) {
        if (best[kJoinedEar] == kNone && IsEar(p)) best[kJoinedEar] = p;
      } else {
        const double turn = Turn(a, p, c);
        const double l1 = (B.x - A.x) * (B.x - A.x) + (B.y - A.y) * (B.y - A.y);
        const double l2 = (C.x - B.x) * (C.x - B.x) + (C.y - B.y) * (C.y - B.y);
        if (turn * turn <= 1e-18 * l1 * l2) {
          best[kStraight] = p;
          break;
        }
        if (best[kConvex] == kNone && turn > 0.0) best[kConvex] = p;
        if (best[kAny] == kNone) best[kAny] = p;
      }
      p = c;
    } while (p != ear);
    const uint32_t* pick = std::find_if(best, best + kKinds, [](uint32_t b) { return b != kNone; });
    if (pick == best + kKinds) {
      for (p = nodes[ear].next; nodes[p].next != ear; p = nodes[p].next)
        Emit(ear, p, nodes[p].next);
      return false;
    }
    clip(*pick);
  }
  Emit(nodes[ear].prev, ear, nodes[ear].next);
  return true;
}

}  // namespace

bool TriangulateCap(const CapOutline& outline, Mesh& mesh) {
  const size_t loopCount = outline.starts.size() - 1;
  for (const uint32_t v : outline.entries)
    if (v >= mesh.VertexCount()) return false;
  Frame frame;
  if (loopCount == 0 || !MakeFrame(outline, mesh, frame)) return false;

  // Canonical loops: read so that the net area is positive, started at the
  // least point, in order of that point, first in the projection along the
  // axis (exact), so that both halves read them alike.
  std::vector<Loop> loops(loopCount);
  auto canonical = [&loops]() {
    for (Loop& loop : loops)
      std::rotate(loop.points.begin(),
                  std::min_element(loop.points.begin(), loop.points.end(), Before),
                  loop.points.end());
    std::stable_sort(loops.begin(), loops.end(),
                     [](const Loop& a, const Loop& b) { return Before(a.points[0], b.points[0]); });
  };
  for (size_t k = 0; k < loopCount; ++k) {
    Loop& loop = loops[k];
    for (size_t e = outline.starts[k]; e < outline.starts[k + 1]; ++e) {
      const uint32_t v = outline.entries[e];
      const Vertex& p = mesh.vertices[v];
      loop.points.push_back(Point{Coordinate(p, frame.u), Coordinate(p, frame.v), v});
    }
    if (frame.flip) std::reverse(loop.points.begin(), loop.points.end());
  }
  canonical();
  // Then projected along the cap's own normal, taken from the canonical
  // loops (the same bits for both halves): along an axis, the vertices that
  // lie off the plane within the side test's band would move sideways and
  // could fold thin triangles over.
  double n[3] = {0.0, 0.0, 0.0};
  for (const Loop& loop : loops)
    for (size_t i = 0; i < loop.points.size(); ++i) {
      const Vertex& p = mesh.vertices[loop.points[i].vertex];
      const Vertex& q = mesh.vertices[loop.points[(i + 1) % loop.points.size()].vertex];
      n[0] += (double(p.y) - q.y) * (double(p.z) + q.z);
      n[1] += (double(p.z) - q.z) * (double(p.x) + q.x);
      n[2] += (double(p.x) - q.x) * (double(p.y) + q.y);
    }
  double e1[3], e2[3];
  if (!Basis(n, e1, e2)) return false;
  for (Loop& loop : loops) {
    for (Point& point : loop.points) {
      const Vertex& p = mesh.vertices[point.vertex];
      point.x = e1[0] * p.x + e1[1] * p.y + e1[2] * p.z;
      point.y = e2[0] * p.x + e2[1] * p.y + e2[2] * p.z;
    }
    loop.minX = loop.maxX = loop.points[0].x;
    loop.minY = loop.maxY = loop.points[0].y;
    const size_t count = loop.points.size();
    for (size_t i = 0; i < count; ++i) {
      const Point &a = loop.points[i], &b = loop.points[(i + 1) % count];
      loop.area += a.x * b.y - b.x * a.y;
      loop.minX = std::min(loop.minX, a.x);
      loop.maxX = std::max(loop.maxX, a.x);
      loop.minY = std::min(loop.minY, a.y);
      loop.maxY = std::max(loop.maxY, a.y);
    }
  }
  canonical();  // holes start at their leftmost point, for the bridges

  // Each hole belongs to the smallest outline around it (an island's holes
  // to the island, not to the outline around the island's own hole).
  std::vector<std::vector<uint32_t>> holesOf(loopCount);
  for (size_t h = 0; h < loopCount; ++h) {
    Loop& hole = loops[h];
    if (hole.area >= 0.0) continue;
    for (size_t o = 0; o < loopCount; ++o) {
      const Loop& out = loops[o];
      if (out.area <= -hole.area) continue;
      if (hole.container != kNone && out.area >= loops[hole.container].area) continue;
      int inside = -1;
      for (size_t i = 0; i < hole.points.size() && inside < 0; ++i) inside = Contains(out, hole.points[i]);
      if (inside == 1) hole.container = static_cast<uint32_t>(o);
    }
    if (hole.container == kNone) return false;
    holesOf[hole.container].push_back(static_cast<uint32_t>(h));
  }

  std::vector<uint32_t> triangles;
  EarClipper clipper(outline.joined, triangles);
  std::vector<uint32_t> rings;
  for (size_t o = 0; o < loopCount; ++o) {
    if (loops[o].area < 0.0) continue;
    const uint32_t ring = clipper.AddRing(loops[o]);
    // Left to right (holes start at their leftmost point, and are in that
    // order already), so each bridge runs to the outline or to a hole
    // bridged before it.
    for (const uint32_t h : holesOf[o])
      if (!clipper.Bridge(clipper.AddRing(loops[h]), ring)) return false;
    rings.push_back(ring);
  }
  bool clean = true;
  for (const uint32_t ring : rings) clean &= clipper.Clip(ring);
  if (!clean) CLEAVE_WARNING("cap outline has no proper ear left; the rest is closed by a fan");

  for (size_t t = 0; t < triangles.size(); t += 3) {
    const uint32_t a = triangles[t], b = frame.flip ? triangles[t + 2] : triangles[t + 1],
                   c = frame.flip ? triangles[t + 1] : triangles[t + 2];
    const uint32_t before = mesh.TriangleCount();
    const uint32_t added = mesh.AddTriangle(a, b, c);
    if (added != before) continue;  // the mesh had it already
    for (int corner = 0; corner < 3; ++corner)
      mesh.SetCornerNormal(added, corner, frame.normal[0], frame.normal[1], frame.normal[2]);
  }
  return true;
}

bool FansAreValid(const CapOutline& outline, const Mesh& mesh) {
  for (const uint32_t v : outline.entries)
    if (v >= mesh.VertexCount()) return false;
  Frame frame;
  if (outline.starts.size() < 2 || !MakeFrame(outline, mesh, frame)) return false;
  const double n[3] = {frame.normal[0], frame.normal[1], frame.normal[2]};
  // Rounding of the float positions (a few units in the last place of the
  // largest coordinate R) may bend a straight run either way by about
  // R eps times the edges' lengths.
  double reach = 0.0;
  for (const uint32_t v : outline.entries) {
    const Vertex& p = mesh.vertices[v];
    reach = std::max({reach, std::fabs(double(p.x)), std::fabs(double(p.y)), std::fabs(double(p.z))});
  }
  for (size_t k = 0; k + 1 < outline.starts.size(); ++k) {
    const size_t begin = outline.starts[k], end = outline.starts[k + 1];
    const Vertex& o = mesh.vertices[outline.entries[begin]];
    auto spoke = [&](size_t e, double (&a)[3]) {
      const Vertex& p = mesh.vertices[outline.entries[e]];
      a[0] = double(p.x) - o.x;
      a[1] = double(p.y) - o.y;
      a[2] = double(p.z) - o.z;
    };
    // The turn from each spoke to the next about the normal, and its cosine
    // times the spokes' lengths.
    auto step = [&](const double (&a)[3], const double (&b)[3], double& turn, double& along) {
      const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                           a[0] * b[1] - a[1] * b[0]};
      turn = n[0] * c[0] + n[1] * c[1] + n[2] * c[2];
      along = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    // The angle the fan turns through at its centre must stay below a full
    // turn. Each step's angle is bounded from above by its diamond angle d
    // (turn / (|along| + |turn|), or 2 minus that past a right angle) times
    // kDiamondBound, or by d itself where it is negative, so a bound of the
    // sum below 2 pi settles it without an arctangent per step. The diamond
    // angle is never above the angle, so only a fan turning through at
    // least 2 pi / kDiamondBound (3.77 rad) sums the angles.
    double bound = 0.0;
    double a[3], b[3];
    spoke(begin + 1, a);
    for (size_t e = begin + 1; e + 1 < end; ++e) {
      spoke(e + 1, b);
      double turn, along;
      step(a, b, turn, along);
      if (turn < 0.0) {  // only a straight run may turn back, by rounding
        const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
        if (turn < -(1e-6 * la * lb + 8.0 * FLT_EPSILON * reach * (la + lb))) return false;
      }
      const double size = std::fabs(along) + std::fabs(turn);
      const double d = size == 0.0 ? 0.0 : (along >= 0.0 ? turn / size : 2.0 - turn / size);
      bound += d > 0.0 ? kDiamondBound * d : d;
      std::copy(b, b + 3, a);
    }
    if (bound < kTwoPi * (1.0 - 1e-9)) continue;
    double sweep = 0.0;
    for (size_t e = begin + 1; e + 1 < end; ++e) {
      spoke(e, a);
      spoke(e + 1, b);
      double turn, along;
      step(a, b, turn, along);
      sweep += std::atan2(turn, along);
    }
    if (!(sweep < kTwoPi)) return false;  // the loop winds round more than once
  }
  return true;
}
