#include "geom/solid_check.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

#include "core/diagnostics.h"
#include "geom/index_pair.h"

namespace {

uint64_t EdgeKey(uint32_t a, uint32_t b) { return static_cast<uint64_t>(a) << 32 | b; }

}  // namespace

namespace {

// A mesh encloses no volume when |V| <= kFlatVolume * A^1.5 (V its signed
// volume, A its surface area). The ratio V / A^1.5 is scale-free: 0.094 for a
// ball, 0.068 for a cube, about 0.35 t / w for a plate of thickness t and
// width w. A cut whose vertices stay clear of the side test's 0.01 band
// leaves pieces far above the bound (a chip 0.01 high on a base 10 wide
// still has about 2e-4); a surface folded flat onto itself (a face capped
// against its own outline) has only rounding, around 1e-7 relative.
constexpr double kFlatVolume = 1e-4;
// Float positions carry rounding of a few units in the last place of their
// largest coordinate R (cut vertices come out of a few float operations);
// moving a surface of area A by d changes its volume by up to A d, so a
// volume below A * kRounding * R is rounding whatever the shape.
constexpr double kRounding = 16.0 * FLT_EPSILON;
// Relative widening of the area's upper bound before it decides alone.
constexpr double kBoundSlack = 1.0 + 1e-6;

// What one pass over the triangle records finds.
struct SurfaceScan {
  bool inRange = true;
  uint32_t outOfRange = 0;  // the first triangle with an index out of range
  bool distinctCorners = true;
  double volume = 0.0;  // signed, by the divergence theorem
  // Half the sum over triangles of |cx| + |cy| + |cz| for the cross product
  // c of two edges: the surface area A lies in [areaBound / sqrt 3,
  // areaBound], found without a square root per triangle.
  double areaBound = 0.0;
  float reach = 0.0f;  // largest coordinate magnitude of a vertex
};

// The cross product of triangle (a, b, c)'s edges from its first corner,
// with `position` the packed positions of ScanTriangles.
struct Corners {
  const float *p0, *p1, *p2;
};
inline Corners CornersOf(const float* position, uint32_t a, uint32_t b, uint32_t c) {
  return {position + 3 * a, position + 3 * b, position + 3 * c};
}
inline void EdgeCross(const Corners& k, float& cx, float& cy, float& cz) {
  const float ux = k.p1[0] - k.p0[0], uy = k.p1[1] - k.p0[1], uz = k.p1[2] - k.p0[2];
  const float wx = k.p2[0] - k.p0[0], wy = k.p2[1] - k.p0[1], wz = k.p2[2] - k.p0[2];
  cx = uy * wz - uz * wy;
  cy = uz * wx - ux * wz;
  cz = ux * wy - uy * wx;
}

// The edges of the mesh, each filed under its smaller end as it is met: an
// undirected edge {low, x} is one record x << 2 | state, where state tells
// which of its two directed edges have been met (kForward: low -> x,
// kBackward: x -> low, both: paired); 0 is an empty slot. Each vertex has a
// bucket of kBucket slots, a small hash table of its own: the record of x
// goes to the first empty slot from slot x mod kBucket on, so that it is
// found again in a probe or two (a vertex of a closed mesh has about three
// higher neighbours). The records of a vertex whose bucket is full (a pole,
// the centre of a cap fan) go to `spill` as
// low << 32 | x << 1 | (forward ? 1 : 0), one per directed edge, and are
// paired by sorting. Kept between calls (per thread): reusing the memory
// spares the page faults of fresh arrays on every check. The buckets are
// left empty by each check as it ends (see IsDegenerate), while they are
// still in cache, not cleared by the next one after a split has pushed them
// out.
//
// A mesh of up to kMatrixVertices vertices (a piece of the scene's own
// objects) files its edges in a bit matrix instead: bit (a, b) is set when
// a -> b is met, and an edge is paired when the bit of its reverse is
// already set as it is met. That takes no branch per edge, where a bucket
// probe's outcome (a new edge or the second direction of one met before) is
// a coin toss to the processor; it needs the matrix cleared, n^2 bits, which
// is cheaper than the probes up to about 2,000 vertices. The matrix tells
// whether some edge is alone, not which: for the message the mesh is
// scanned again with buckets.
constexpr uint32_t kBucket = 8;
constexpr uint32_t kForward = 1, kBackward = 2, kPaired = 3;
constexpr uint32_t kMatrixVertices = 1024;  // 128 KiB of matrix at most
struct EdgeRecords {
  std::vector<uint32_t> bucket;  // kBucket slots per vertex
  std::vector<uint64_t> spill;
  std::vector<uint64_t> matrix;  // row a: the bits (a, b), b = 0 .. n - 1
  std::vector<float> positions;  // x, y, z of each vertex, packed
  size_t open = 0;               // records in buckets not yet paired
  size_t filed = 0;              // directed edges filed in the matrix
  size_t pairs = 0;              // of those, met after their reverse
  bool repeated = false;         // some directed edge was met twice
};
EdgeRecords& Scratch() {
  static thread_local EdgeRecords records;
  return records;
}

// The one pass over the (large) triangle records: indices in range and
// distinct, every directed edge filed (in the matrix when `inMatrix`,
// otherwise in the buckets) and paired with its reverse, and the volume and
// area. With positions relative to the first vertex r,
// (p0 - r) . ((p1 - r) x (p2 - r)) equals (p0 - r) . ((p1 - p0) x (p2 - p0)),
// so one cross product per triangle serves both sums. Edges are filed only
// while corners are distinct and indices below 2^30 (a record keeps the
// higher end in 30 bits); the caller checks any other mesh the slow way.
SurfaceScan ScanTriangles(const Mesh& mesh, EdgeRecords& records, bool inMatrix) {
  SurfaceScan scan;
  const uint32_t n = mesh.VertexCount();
  if (!inMatrix) records.bucket.resize(static_cast<size_t>(n) * kBucket);  // all empty already
  const size_t words = (static_cast<size_t>(n) + 63) / 64;  // per matrix row
  if (inMatrix) records.matrix.assign(words * n, 0);
  records.spill.clear();
  records.open = 0;
  records.repeated = false;
  uint32_t* bucket = records.bucket.data();
  uint64_t* matrix = records.matrix.data();
  size_t open = 0, filed = 0, pairs = 0;
  bool repeated = false;
  auto mark = [&](uint32_t a, uint32_t b) {
    uint64_t& word = matrix[a * words + b / 64];
    const uint64_t bit = uint64_t{1} << (b % 64);
    repeated |= (word & bit) != 0;
    word |= bit;
    pairs += (matrix[b * words + a / 64] >> (a % 64)) & 1u;
  };
  auto file = [&](uint32_t a, uint32_t b) {
    const uint32_t low = std::min(a, b), x = std::max(a, b);
    const uint32_t state = a < b ? kForward : kBackward;
    uint32_t* in = bucket + static_cast<size_t>(low) * kBucket;
    for (uint32_t probe = 0, j = x % kBucket; probe < kBucket; ++probe, j = (j + 1) % kBucket) {
      const uint32_t record = in[j];
      if (record == 0) {
        in[j] = x << 2 | state;
        ++open;
        return;
      }
      if ((record >> 2) != x) continue;
      // Met the other direction before: paired; otherwise a repeat.
      repeated |= (record & 3u) != (kPaired - state);
      in[j] = record | state;
      --open;
      return;
    }
    records.spill.push_back(static_cast<uint64_t>(low) << 32 | x << 1 | (a < b ? 1u : 0u));
  };
  // The positions, packed (a quarter of the vertex records' size, so that
  // the three looked up per triangle are found in cache), taken relative to
  // the first vertex so that a small piece far from the origin keeps its
  // precision; and the largest coordinate. A split half's vertices that no
  // triangle uses lie on the cut, within the surface's reach anyway.
  records.positions.resize(static_cast<size_t>(n) * 3);
  float* position = records.positions.data();
  float reach = 0.0f;
  for (uint32_t k = 0; k < n; ++k) {
    const Vertex& p = mesh.vertices[k];
    reach = std::max({reach, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
    position[3 * k] = p.x - mesh.vertices[0].x;
    position[3 * k + 1] = p.y - mesh.vertices[0].y;
    position[3 * k + 2] = p.z - mesh.vertices[0].z;
  }
  const bool fileEdges = n < (1u << 30);
  const Triangle* tri = mesh.triangles.data();
  const size_t triangleCount = mesh.triangles.size();
  double volume = 0.0, area = 0.0;
  bool distinct = true;
  for (size_t t = 0; t < triangleCount; ++t) {
    PrefetchIndices(tri + t + 16);
    const uint32_t* i = tri[t].indices;
    const uint32_t a = i[0], b = i[1], c = i[2];
    if (a >= n || b >= n || c >= n) {
      scan.inRange = false;
      scan.outOfRange = static_cast<uint32_t>(t);
      return scan;
    }
    distinct &= a != b && b != c && c != a;
    if (distinct && fileEdges) {
      if (inMatrix) {
        mark(a, b);
        mark(b, c);
        mark(c, a);
        filed += 3;
      } else {
        file(a, b);
        file(b, c);
        file(c, a);
      }
    }
    // Per triangle in float (its rounding, about FLT_EPSILON R A over the
    // mesh, stays within the rounding allowance of the volume test), summed
    // in double.
    const Corners k = CornersOf(position, a, b, c);
    float cx, cy, cz;
    EdgeCross(k, cx, cy, cz);
    volume += k.p0[0] * cx + k.p0[1] * cy + k.p0[2] * cz;
    area += std::fabs(cx) + std::fabs(cy) + std::fabs(cz);
  }
  records.open = open;
  records.filed = filed;
  records.pairs = pairs;
  records.repeated = repeated;
  scan.distinctCorners = distinct && fileEdges;
  scan.volume = volume / 6.0;
  scan.areaBound = area / 2.0;
  scan.reach = reach;
  return scan;
}

// The surface area, from the positions ScanTriangles packed (indices known
// to be in range), per triangle in float and summed in double.
double SurfaceArea(const Mesh& mesh, const EdgeRecords& records) {
  const float* position = records.positions.data();
  double area = 0.0;
  for (const Triangle& tri : mesh.triangles) {
    float cx, cy, cz;
    EdgeCross(CornersOf(position, tri.indices[0], tri.indices[1], tri.indices[2]), cx, cy, cz);
    area += std::sqrt(cx * cx + cy * cy + cz * cz);
  }
  return area / 2.0;
}

enum class EdgePairing { kClosed, kUnpaired, kRepeated };

// After a scan with distinct corners: each directed edge must occur once and
// its reverse once. kRepeated when some directed edge occurs twice (the mesh
// may then be crowded); kUnpaired, with `unpaired` the first edge without
// its reverse (by smaller end), when some edge is alone; else kClosed.
EdgePairing PairEdges(uint32_t vertexCount, EdgeRecords& records, IndexPair& unpaired) {
  if (records.repeated) return EdgePairing::kRepeated;
  // The spill, sorted, reads (low, x, backward), (low, x, forward) for each
  // edge of a full bucket.
  std::vector<uint64_t>& spill = records.spill;
  std::sort(spill.begin(), spill.end());
  if (std::adjacent_find(spill.begin(), spill.end()) != spill.end()) return EdgePairing::kRepeated;
  auto edge = [](uint32_t low, uint32_t x, bool forward) {
    return forward ? IndexPair(low, x) : IndexPair(x, low);
  };
  // The first record left alone in a bucket, else the first lone entry of
  // the spill.
  for (uint32_t v = 0; v < vertexCount && records.open > 0; ++v) {
    const uint32_t* in = records.bucket.data() + static_cast<size_t>(v) * kBucket;
    for (uint32_t j = 0; j < kBucket; ++j) {
      if (in[j] == 0 || (in[j] & 3u) == kPaired) continue;
      unpaired = edge(v, in[j] >> 2, (in[j] & 3u) == kForward);
      return EdgePairing::kUnpaired;
    }
  }
  for (size_t k = 0; k < spill.size(); ++k) {
    if (k + 1 < spill.size() && (spill[k] & 1u) == 0 && spill[k + 1] == (spill[k] | 1u)) {
      ++k;
      continue;
    }
    const uint32_t x = static_cast<uint32_t>(spill[k]) >> 1;
    unpaired = edge(static_cast<uint32_t>(spill[k] >> 32), x, (spill[k] & 1u) != 0);
    return EdgePairing::kUnpaired;
  }
  return EdgePairing::kClosed;
}

// The same rule for any mesh with indices in range, through a sorted list of
// all directed edges: each must occur once and its reverse once. Empty when
// it holds, otherwise the first edge that breaks it.
std::string UnpairedEdge(const Mesh& mesh) {
  std::vector<uint64_t> keys;
  keys.reserve(mesh.triangles.size() * 3);
  for (const Triangle& tri : mesh.triangles)
    for (int c = 0; c < 3; ++c) keys.push_back(EdgeKey(tri.indices[c], tri.indices[(c + 1) % 3]));
  std::sort(keys.begin(), keys.end());
  for (size_t k = 0; k < keys.size(); ++k) {
    const uint32_t a = static_cast<uint32_t>(keys[k] >> 32), b = static_cast<uint32_t>(keys[k]);
    const auto reverse = std::equal_range(keys.begin(), keys.end(), EdgeKey(b, a));
    const bool once =
        (k == 0 || keys[k - 1] != keys[k]) && (k + 1 == keys.size() || keys[k + 1] != keys[k]);
    if (!once || reverse.second - reverse.first != 1)
      return "(" + std::to_string(a) + "," + std::to_string(b) + ")";
  }
  return "";
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

// Compressed per-vertex lists: the entries of vertex v are
// items[offsets[v] .. offsets[v + 1]).
struct VertexLists {
  std::vector<uint32_t> offsets;
  std::vector<uint32_t> items;
  const uint32_t* Begin(uint32_t v) const { return items.data() + offsets[v]; }
  const uint32_t* End(uint32_t v) const { return items.data() + offsets[v + 1]; }
};

// The full crowding test: true (after writing the report of the first
// offending triangle) when some triangle shares edges with more than three
// others.
bool Crowded(const Mesh& mesh) {
  const uint32_t listSize = mesh.VertexCount();

  // Triangles of each vertex, ascending (filled in triangle order).
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

}  // namespace

double LeastVolume(double area, double reach) {
  return area * (kFlatVolume * std::sqrt(area) + kRounding * reach);
}

bool IsDegenerate(const Mesh& mesh) {
  // No triangles: nothing to reject as broken (the split drops such a half
  // for its counts).
  if (mesh.triangles.empty()) return false;
  EdgeRecords& records = Scratch();
  const bool inMatrix = mesh.VertexCount() <= kMatrixVertices;
  // Whatever the way out, buckets filled are left empty for the next check.
  struct EmptyBuckets {
    std::vector<uint32_t>& bucket;
    bool used;
    ~EmptyBuckets() {
      if (used) std::memset(bucket.data(), 0, bucket.size() * sizeof(uint32_t));
    }
  } emptyBuckets{records.bucket, !inMatrix};
  const SurfaceScan scan = ScanTriangles(mesh, records, inMatrix);
  if (!scan.inRange) {
    diagnostics::Log("Degenerate mesh: triangle " + std::to_string(scan.outOfRange) +
                     " has a vertex index out of range");
    return true;
  }
  // Crowding needs the full test only when some triangle repeats a vertex or
  // some directed edge occurs twice. Otherwise, for triangle T, the
  // triangles holding both ends of an edge {a, b} of T hold it as (a, b) or
  // as (b, a), so there are at most two of them, T included, and T has at
  // most three neighbours.
  IndexPair unpaired;
  EdgePairing pairing = EdgePairing::kRepeated;
  if (scan.distinctCorners && inMatrix) {
    if (records.repeated) {
      pairing = EdgePairing::kRepeated;
    } else if (2 * records.pairs == records.filed) {
      pairing = EdgePairing::kClosed;  // each edge's second direction paired it
    } else {
      // Some edge is alone: the buckets tell which comes first.
      emptyBuckets.used = true;
      ScanTriangles(mesh, records, false);
      pairing = PairEdges(mesh.VertexCount(), records, unpaired);
    }
  } else if (scan.distinctCorners) {
    pairing = PairEdges(mesh.VertexCount(), records, unpaired);
  }
  std::string unpairedText;
  if (pairing == EdgePairing::kRepeated) {
    if (Crowded(mesh)) return true;
    unpairedText = UnpairedEdge(mesh);
  } else if (pairing == EdgePairing::kUnpaired) {
    unpairedText =
        "(" + std::to_string(unpaired.first) + "," + std::to_string(unpaired.second) + ")";
  }
  if (!unpairedText.empty()) {
    diagnostics::Log("Degenerate mesh: not closed, directed edge " + unpairedText +
                     " does not occur once with its reverse once");
    return true;
  }
  // The least volume grows with the area, so a volume above the least for
  // the area's upper bound passes; only a mesh near or below the bound (or
  // with NaN positions) needs the area itself. The bound is widened by a
  // little against the two sums rounding differently.
  if (scan.volume > LeastVolume(scan.areaBound * kBoundSlack, scan.reach)) return false;
  const double area = SurfaceArea(mesh, records);
  const double least = LeastVolume(area, scan.reach);
  if (!(scan.volume > least)) {  // NaN positions fail here too
    std::ostringstream line;
    line << "Degenerate mesh: " << (scan.volume < -least ? "inside out" : "encloses no volume")
         << ", volume " << scan.volume << ", surface area " << area;
    diagnostics::Log(line.str());
    return true;
  }
  return false;
}
