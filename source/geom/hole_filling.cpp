#include "geom/hole_filling.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "geom/mass_properties.h"
#include "geom/solid_check.h"

namespace {

constexpr uint32_t kNone = UINT32_MAX;
constexpr double kForbidden = std::numeric_limits<double>::infinity();
// Areas closer than this (relative) count as equal when fills are compared.
constexpr double kTie = 1e-5;

uint64_t UndirectedKey(uint32_t a, uint32_t b) {
  return static_cast<uint64_t>(std::min(a, b)) << 32 | std::max(a, b);
}

// The directed triangle edges grouped by undirected edge: sorted by key,
// with the direction (first < second) alongside.
struct EdgeUse {
  uint64_t key;
  uint32_t from, to;
  uint32_t triangle;
  bool operator<(const EdgeUse& o) const { return key < o.key; }
};

std::vector<EdgeUse> SortedEdgeUses(const Mesh& mesh) {
  std::vector<EdgeUse> uses;
  uses.reserve(mesh.triangles.size() * 3);
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
    for (int c = 0; c < 3; ++c) {
      const uint32_t a = mesh.triangles[t].indices[c], b = mesh.triangles[t].indices[(c + 1) % 3];
      uses.push_back({UndirectedKey(a, b), a, b, t});
    }
  std::sort(uses.begin(), uses.end());
  return uses;
}

// Least-area triangulation of `loop` (vertex indices in rim order) into
// `out` as index triples, each running the rim's direction. W(i, k) is the
// least area of a triangulation of the polygon i, i+1, .., k closed by the
// chord (i, k); chords the mesh already has cost kForbidden unless no
// triangulation avoids them all.
void LeastAreaTriangulation(const Mesh& mesh, const std::vector<uint32_t>& loop,
                            const std::unordered_set<uint64_t>& edges,
                            std::vector<uint32_t>& out) {
  const size_t n = loop.size();
  std::vector<double> w(n * n, 0.0);
  std::vector<uint32_t> best(n * n, kNone);
  const auto at = [n](size_t i, size_t k) { return i * n + k; };
  for (const bool avoid : {true, false}) {
    for (size_t span = 2; span < n; ++span)
      for (size_t i = 0; i + span < n; ++i) {
        const size_t k = i + span;
        const bool chord = !(i == 0 && k == n - 1);
        if (avoid && chord && edges.count(UndirectedKey(loop[i], loop[k]))) {
          w[at(i, k)] = kForbidden;
          continue;
        }
        double least = kForbidden;
        for (size_t m = i + 1; m < k; ++m) {
          const double total =
              w[at(i, m)] + w[at(m, k)] +
              TriangleArea(mesh.vertices[loop[i]], mesh.vertices[loop[m]], mesh.vertices[loop[k]]);
          // Near-ties (within float rounding of the positions) go to the
          // first candidate, so that the fill is the same at any scale: a
          // loop that is not flat encloses a different volume with each.
          if (total < least * (1.0 - kTie) || best[at(i, k)] == kNone) {
            least = total;
            best[at(i, k)] = static_cast<uint32_t>(m);
          }
        }
        w[at(i, k)] = least;
      }
    if (w[at(0, n - 1)] < kForbidden) break;
  }
  std::vector<std::pair<size_t, size_t>> pending{{0, n - 1}};
  while (!pending.empty()) {
    const auto [i, k] = pending.back();
    pending.pop_back();
    if (k < i + 2) continue;
    const size_t m = best[at(i, k)];
    out.insert(out.end(), {loop[i], loop[m], loop[k]});
    pending.push_back({i, m});
    pending.push_back({m, k});
  }
}

// A fan from a new vertex at the loop's centroid.
void CentroidFan(Mesh& mesh, const std::vector<uint32_t>& loop, std::vector<uint32_t>& out) {
  double sum[3] = {0.0, 0.0, 0.0};
  for (const uint32_t v : loop) {
    sum[0] += mesh.vertices[v].x;
    sum[1] += mesh.vertices[v].y;
    sum[2] += mesh.vertices[v].z;
  }
  const double n = static_cast<double>(loop.size());
  const uint32_t centre = mesh.AddVertex(Vertex(static_cast<float>(sum[0] / n),
                                                static_cast<float>(sum[1] / n),
                                                static_cast<float>(sum[2] / n)));
  for (size_t j = 0; j < loop.size(); ++j)
    out.insert(out.end(), {loop[j], loop[(j + 1) % loop.size()], centre});
}

// Drops the pieces of the closed surface (triangles joined through their
// edges, `uses` being its sorted edge uses, each edge on two triangles)
// that enclose no volume by the rule every piece is held to (LeastVolume),
// unless every piece is such. A lone triangle (or strip) left among holes
// has each of its edges on a rim, and the fill of its rim is the piece
// itself turned over: a sheet with no inside, joined to the rest at its
// corners only, which no cut can cap. Vertices no triangle uses any more
// are dropped. `loopOf` gives the loop of each filled triangle (those from
// `firstFilled` on); `filled` is left counting the loops and triangles that
// stay.
void DropFlatPieces(Mesh& mesh, const std::vector<EdgeUse>& uses, size_t firstFilled,
                    const std::vector<uint32_t>& loopOf, FilledHoles& filled) {
  const size_t count = mesh.triangles.size();
  std::vector<uint32_t> parent(count);
  for (uint32_t t = 0; t < count; ++t) parent[t] = t;
  const auto find = [&parent](uint32_t t) {
    while (parent[t] != t) t = parent[t] = parent[parent[t]];
    return t;
  };
  for (size_t j = 0; j + 1 < uses.size(); j += 2) parent[find(uses[j].triangle)] = find(uses[j + 1].triangle);
  // Volumes about the centre of the bounding box, and its half-size as the
  // rounding allowance's reach (the model centred, as MakeModelSolid takes it).
  double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (const Vertex& v : mesh.vertices) {
    const double p[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) low[k] = std::min(low[k], p[k]), high[k] = std::max(high[k], p[k]);
  }
  const double centre[3] = {(low[0] + high[0]) / 2, (low[1] + high[1]) / 2, (low[2] + high[2]) / 2};
  const double reach = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]}) / 2;
  std::unordered_map<uint32_t, std::pair<double, double>> pieces;  // root -> (volume, area)
  for (uint32_t t = 0; t < count; ++t) {
    double r[3][3];
    for (int c = 0; c < 3; ++c) {
      const Vertex& v = mesh.vertices[mesh.triangles[t].indices[c]];
      r[c][0] = v.x - centre[0], r[c][1] = v.y - centre[1], r[c][2] = v.z - centre[2];
    }
    auto& piece = pieces[find(t)];
    piece.first += (r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                    r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                    r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0])) / 6.0;
    const Triangle& k = mesh.triangles[t];
    piece.second += TriangleArea(mesh.vertices[k.indices[0]], mesh.vertices[k.indices[1]],
                                 mesh.vertices[k.indices[2]]);
  }
  std::unordered_set<uint32_t> flat;
  for (const auto& [root, piece] : pieces)
    if (!(std::fabs(piece.first) > LeastVolume(piece.second, reach))) flat.insert(root);
  if (flat.empty() || flat.size() == pieces.size()) return;

  std::vector<uint32_t> newIndex(mesh.vertices.size(), kNone);
  std::vector<Vertex> vertices;
  std::vector<Triangle> triangles;
  std::unordered_set<uint32_t> keptLoops;
  size_t keptFilled = 0;
  for (uint32_t t = 0; t < count; ++t) {
    if (flat.count(find(t))) continue;
    Triangle k = mesh.triangles[t];
    for (uint32_t& v : k.indices) {
      if (newIndex[v] == kNone) {
        newIndex[v] = static_cast<uint32_t>(vertices.size());
        vertices.push_back(mesh.vertices[v]);
      }
      v = newIndex[v];
    }
    triangles.push_back(k);
    if (t >= firstFilled) ++keptFilled, keptLoops.insert(loopOf[t - firstFilled]);
  }
  mesh.vertices = std::move(vertices);
  mesh.triangles = std::move(triangles);
  mesh.ReindexTriangles();
  filled.holes = keptLoops.size();
  filled.triangles = keptFilled;
}

}  // namespace

size_t CountNonManifoldEdges(const Mesh& mesh) {
  const std::vector<EdgeUse> uses = SortedEdgeUses(mesh);
  size_t count = 0;
  for (size_t j = 0, next; j < uses.size(); j = next) {
    for (next = j + 1; next < uses.size() && uses[next].key == uses[j].key;) ++next;
    count += next - j > 2;
  }
  return count;
}

bool FillHoles(Mesh& mesh, FilledHoles& filled, std::string& error) {
  filled = FilledHoles();
  const std::vector<EdgeUse> uses = SortedEdgeUses(mesh);
  std::vector<std::pair<uint32_t, uint32_t>> rims;  // (from, to) along the rims
  std::unordered_set<uint64_t> edges;
  size_t crowded = 0, samePair = 0;
  for (size_t j = 0, next; j < uses.size(); j = next) {
    for (next = j + 1; next < uses.size() && uses[next].key == uses[j].key;) ++next;
    edges.insert(uses[j].key);
    if (next - j > 2) {
      ++crowded;
    } else if (next - j == 2) {
      samePair += uses[j].from == uses[j + 1].from;
    } else {
      rims.emplace_back(uses[j].to, uses[j].from);
    }
  }
  if (crowded > 0) {
    error = std::to_string(crowded) +
            " non-manifold edges (each on three or more triangles); not a solid";
    return false;
  }
  if (samePair > 0) {
    error = std::to_string(samePair) +
            " edges run the same way by both their triangles; faces wound inconsistently";
    return false;
  }

  // Rims linked into simple loops: a walk along unused rim edges that comes
  // back to a vertex already on it closes the loop from there (two holes
  // touching at a vertex give two loops). Each vertex has as many rim edges
  // in as out, so every walk ends where it started.
  std::sort(rims.begin(), rims.end());
  std::unordered_map<uint32_t, size_t> cursor;  // vertex -> its first rim edge not yet used
  for (size_t e = rims.size(); e-- > 0;) cursor[rims[e].first] = e;
  std::vector<bool> used(rims.size(), false);
  const auto nextOut = [&](uint32_t v) {
    const auto found = cursor.find(v);
    if (found == cursor.end()) return rims.size();
    size_t& e = found->second;
    while (e < rims.size() && rims[e].first == v && used[e]) ++e;
    return e < rims.size() && rims[e].first == v ? e : rims.size();
  };
  std::vector<std::vector<uint32_t>> loops;
  for (size_t start = 0; start < rims.size(); ++start) {
    if (used[start]) continue;
    std::vector<uint32_t> path{rims[start].first};
    std::unordered_map<uint32_t, size_t> at{{rims[start].first, 0}};
    for (size_t e = start; e < rims.size();) {
      used[e] = true;
      const uint32_t w = rims[e].second;
      const auto found = at.find(w);
      if (found == at.end()) {
        at[w] = path.size();
        path.push_back(w);
      } else {
        const size_t from = found->second;
        loops.emplace_back(path.begin() + static_cast<std::ptrdiff_t>(from), path.end());
        for (size_t k = from + 1; k < path.size(); ++k) at.erase(path[k]);
        path.resize(from + 1);
        if (path.size() == 1) break;
      }
      e = nextOut(path.back());
    }
    if (path.size() != 1) {
      error = std::to_string(rims.size()) + " open edges that form no closed loops; not a closed solid";
      return false;
    }
  }

  // Each loop's triangles are made before the next loop is looked at, and
  // their edges join the mesh's: two loops through the same two vertices
  // (rims that touch twice, as along a crack) would otherwise both take the
  // chord between them, putting it on four triangles.
  const uint32_t vertexCount = mesh.VertexCount();
  std::vector<uint32_t> added, loopOf;  // the fill, and the loop of each of its triangles
  for (const std::vector<uint32_t>& loop : loops) {
    if (loop.size() < 3) continue;
    const size_t first = added.size();
    if (loop.size() <= kMaxDynamicLoop) {
      LeastAreaTriangulation(mesh, loop, edges, added);
    } else {
      CentroidFan(mesh, loop, added);
    }
    for (size_t j = first; j < added.size(); j += 3)
      for (int c = 0; c < 3; ++c) edges.insert(UndirectedKey(added[j + c], added[j + (c + 1) % 3]));
    loopOf.resize(added.size() / 3, static_cast<uint32_t>(filled.holes));
    ++filled.holes;
  }
  const size_t triangleCount = mesh.TriangleCount();
  for (size_t j = 0; j < added.size(); j += 3) mesh.AddTriangle(added[j], added[j + 1], added[j + 2]);
  filled.triangles = added.size() / 3;
  if (filled.holes == 0) return true;

  // Where no triangulation of a loop could keep clear of the edges already
  // there, an edge now has more than two triangles (or two running it the
  // same way): the surface is not closed, and the mesh goes back as it was.
  size_t unpaired = 0;
  const std::vector<EdgeUse> after = SortedEdgeUses(mesh);
  for (size_t j = 0, next; j < after.size(); j = next) {
    for (next = j + 1; next < after.size() && after[next].key == after[j].key;) ++next;
    unpaired += next - j != 2 || after[j].from == after[j + 1].from;
  }
  if (unpaired > 0) {
    error = "holes that cannot be filled without leaving " + std::to_string(unpaired) +
            " edges unpaired (on more than two triangles); not a closed solid";
    mesh.triangles.resize(triangleCount);
    mesh.vertices.resize(vertexCount);
    filled = FilledHoles();
    return false;
  }
  DropFlatPieces(mesh, after, triangleCount, loopOf, filled);
  return true;
}
