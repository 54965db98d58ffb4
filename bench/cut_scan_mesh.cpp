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

#include "scan_blob.h"
#include "geom/close_cut.h"
#include "geom/mesh_splitter.h"

namespace {

using scan_blob::kPlane;
using scan_blob::Soup;
using scan_blob::ScanBlob;
using scan_blob::Shuffled;
using scan_blob::Subdivided;

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
