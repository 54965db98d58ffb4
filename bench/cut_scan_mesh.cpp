// BM_CutScanMesh/<triangles>/<shuffled>: one cut of a large closed mesh laid
// out the way scanned and exported meshes are: a lumpy blob whose vertices
// are numbered in scan order (ring by ring) and whose triangles are listed
// in the order of their vertices, so that neighbouring triangles have
// neighbouring vertex numbers. With shuffled = 1 the same surface comes with
// its vertex numbers and its triangle order randomly permuted, which must
// cost the same. One iteration runs SplitMesh and CloseCut on both halves;
// the plane goes through the centre, tilted against the scan rings.
//
// BM_CutMeshFile: the same cut of the mesh in the OBJ file named by the
// CLEAVE_BENCH_MESH environment variable (plain "v" and triangle "f"
// lines), in its own order and shuffled; skipped when the variable is unset.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "geom/close_cut.h"
#include "geom/mesh_splitter.h"

namespace {

const Plane kPlane(Normalize(Vector(0.3f, 1.0f, 0.2f, 0.0f)), Vector(0.0f, 0.0f, 0.0f, 0.0f));

struct Soup {
  std::vector<Vertex> vertices;
  std::vector<uint32_t> corners;  // three per triangle
};

// A closed lat-long surface of about `triangles` triangles with a radius
// that wobbles with latitude and longitude, numbered ring by ring.
Soup ScanBlob(uint32_t triangles) {
  const uint32_t n = static_cast<uint32_t>(std::sqrt(triangles / 2.0));  // rings = segments
  Soup s;
  const float pi = 3.14159265f;
  s.vertices.emplace_back(0.0f, 1.0f, 0.0f);
  for (uint32_t i = 1; i < n; ++i) {
    const float lat = pi * i / n;
    for (uint32_t j = 0; j < n; ++j) {
      const float lon = 2.0f * pi * j / n;
      const float r = 1.0f + 0.15f * std::sin(5.0f * lat) * std::cos(3.0f * lon);
      s.vertices.emplace_back(r * std::sin(lat) * std::cos(lon), r * std::cos(lat),
                              r * std::sin(lat) * std::sin(lon));
    }
  }
  s.vertices.emplace_back(0.0f, -1.0f, 0.0f);
  const uint32_t south = static_cast<uint32_t>(s.vertices.size()) - 1;
  auto at = [n](uint32_t ring, uint32_t j) { return 1 + (ring - 1) * n + j % n; };
  auto add = [&s](uint32_t a, uint32_t b, uint32_t c) { s.corners.insert(s.corners.end(), {a, b, c}); };
  for (uint32_t j = 0; j < n; ++j) add(0, at(1, j + 1), at(1, j));
  for (uint32_t i = 1; i + 1 < n; ++i)
    for (uint32_t j = 0; j < n; ++j) {
      add(at(i, j), at(i, j + 1), at(i + 1, j + 1));
      add(at(i, j), at(i + 1, j + 1), at(i + 1, j));
    }
  for (uint32_t j = 0; j < n; ++j) add(south, at(n - 1, j), at(n - 1, j + 1));
  return s;
}

// One midpoint subdivision, numbered the way subdividing exporters number
// it: the original vertices first, then one new vertex per edge, and each
// corner triangle listed from its original vertex, so that three triangles
// in four start at a vertex number in the first quarter of the range.
Soup Subdivided(const Soup& in) {
  Soup out;
  out.vertices = in.vertices;
  std::unordered_map<uint64_t, uint32_t> mid;
  auto middle = [&](uint32_t a, uint32_t b) {
    const uint64_t key = uint64_t(std::min(a, b)) << 32 | std::max(a, b);
    auto [it, added] = mid.try_emplace(key, static_cast<uint32_t>(out.vertices.size()));
    if (added) {
      const Vertex &p = in.vertices[a], &q = in.vertices[b];
      out.vertices.emplace_back((p.x + q.x) / 2, (p.y + q.y) / 2, (p.z + q.z) / 2);
    }
    return it->second;
  };
  for (size_t k = 0; k < in.corners.size(); k += 3) {
    const uint32_t a = in.corners[k], b = in.corners[k + 1], c = in.corners[k + 2];
    const uint32_t ab = middle(a, b), bc = middle(b, c), ca = middle(c, a);
    out.corners.insert(out.corners.end(), {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca});
  }
  return out;
}

// The same surface with its vertex numbers and triangle order permuted.
Soup Shuffled(const Soup& in) {
  std::mt19937 random(12345);
  std::vector<uint32_t> newIndex(in.vertices.size());
  std::iota(newIndex.begin(), newIndex.end(), 0u);
  std::shuffle(newIndex.begin(), newIndex.end(), random);
  Soup out;
  out.vertices.resize(in.vertices.size());
  for (size_t v = 0; v < in.vertices.size(); ++v) out.vertices[newIndex[v]] = in.vertices[v];
  std::vector<uint32_t> order(in.corners.size() / 3);
  std::iota(order.begin(), order.end(), 0u);
  std::shuffle(order.begin(), order.end(), random);
  for (uint32_t t : order)
    for (int k = 0; k < 3; ++k) out.corners.push_back(newIndex[in.corners[3 * t + k]]);
  return out;
}

Mesh ToMesh(const Soup& s) {
  Mesh mesh;
  mesh.vertices = s.vertices;
  for (size_t k = 0; k < s.corners.size(); k += 3)
    mesh.AddTriangle(s.corners[k], s.corners[k + 1], s.corners[k + 2]);
  return mesh;
}

void RunCut(benchmark::State& state, const Mesh& mesh) {
  for (auto _ : state) {
    Mesh front, back;
    SplitContext context;
    SplitMesh(mesh, kPlane, front, back, context);
    CloseCut(front, context.frontCutSet);
    CloseCut(back, context.backCutSet);
    benchmark::DoNotOptimize(front.triangles.data());
    benchmark::DoNotOptimize(back.triangles.data());
  }
  state.counters["triangles"] = mesh.TriangleCount();
}

void BM_CutScanMesh(benchmark::State& state) {
  const Soup blob = ScanBlob(static_cast<uint32_t>(state.range(0)));
  RunCut(state, ToMesh(state.range(1) != 0 ? Shuffled(blob) : blob));
}
// BM_CutSubdividedMesh/<shuffled>: the blob at 25k triangles subdivided
// once (about 100k triangles), in its exported order and shuffled.
void BM_CutSubdividedMesh(benchmark::State& state) {
  const Soup mesh = Subdivided(ScanBlob(25000));
  RunCut(state, ToMesh(state.range(0) != 0 ? Shuffled(mesh) : mesh));
}
BENCHMARK(BM_CutSubdividedMesh)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_CutScanMesh)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({250000, 0})
    ->Args({250000, 1})
    ->Unit(benchmark::kMillisecond);

// Reads "v x y z" and "f a b c" lines (1-based, "a/b/c" forms allowed) and
// centres the mesh on its bounding box, so that the plane cuts it.
Soup ReadObj(const char* path) {
  Soup s;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream in(line);
    std::string tag;
    in >> tag;
    if (tag == "v") {
      float x, y, z;
      in >> x >> y >> z;
      s.vertices.emplace_back(x, y, z);
    } else if (tag == "f") {
      std::string corner;
      while (in >> corner) s.corners.push_back(static_cast<uint32_t>(std::stoul(corner) - 1));
    }
  }
  if (s.vertices.empty()) return s;
  Vertex lo = s.vertices[0], hi = lo;
  for (const Vertex& v : s.vertices) {
    lo = Vertex(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
    hi = Vertex(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
  }
  for (Vertex& v : s.vertices)
    v = Vertex(v.x - (lo.x + hi.x) / 2, v.y - (lo.y + hi.y) / 2, v.z - (lo.z + hi.z) / 2);
  return s;
}

void BM_CutMeshFile(benchmark::State& state) {
  const char* path = std::getenv("CLEAVE_BENCH_MESH");
  if (path == nullptr) {
    state.SkipWithError("CLEAVE_BENCH_MESH is not set");
    return;
  }
  const Soup soup = ReadObj(path);
  if (soup.corners.empty() || soup.corners.size() % 3 != 0) {
    state.SkipWithError("no triangles read");
    return;
  }
  RunCut(state, ToMesh(state.range(0) != 0 ? Shuffled(soup) : soup));
}
BENCHMARK(BM_CutMeshFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
