// BM_BuildSphere/<slices>: builds a UV sphere with as many stacks as slices
// and copies it once (the copy a ModelComp makes when it takes the mesh).
// Building goes through AddTriangle's duplicate check for every triangle, so
// this shows whether that check stays constant-time per call.

#include <benchmark/benchmark.h>

#include "geom/mesh_builders.h"

static void BM_BuildSphere(benchmark::State& state) {
  const uint32_t slices = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    Mesh sphere = BuildSphere(slices, slices, 1.0f);
    Mesh copy = sphere;
    benchmark::DoNotOptimize(copy.triangles.data());
  }
  const double triangles = 2.0 * slices + 2.0 * slices * (slices - 2.0);
  state.counters["triangles"] = triangles;
  state.counters["ns_per_triangle"] =
      benchmark::Counter(triangles * static_cast<double>(state.iterations()) * 1e-9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BuildSphere)->Arg(12)->Arg(120)->Arg(500)->Unit(benchmark::kMillisecond);
