// BM_SplitSphere/<slices>: the work of one cut before the physics is
// regenerated. A UV sphere of radius 2 (slices = stacks) is cut by the plane
// through its centre with normal normalize(1, 0.3, 0.2); one iteration runs
// SplitMesh, CloseCut on both halves and IsDegenerate on both halves.
// CloseCut's log lines go to standard output as in the engine.

#include <benchmark/benchmark.h>

#include "geom/close_cut.h"
#include "geom/mesh_builders.h"
#include "geom/mesh_splitter.h"

static void BM_SplitSphere(benchmark::State& state) {
  const uint32_t slices = static_cast<uint32_t>(state.range(0));
  const Mesh sphere = BuildSphere(slices, slices, 2.0f);
  const Plane plane(Normalize(Vector(1.0f, 0.3f, 0.2f, 0.0f)), Vector(0.0f, 0.0f, 0.0f, 0.0f));
  for (auto _ : state) {
    Mesh front, back;
    SplitContext context;
    SplitMesh(sphere, plane, front, back, context);
    CloseCut(front, context.frontCutSet);
    CloseCut(back, context.backCutSet);
    const bool bad = IsDegenerate(back) || IsDegenerate(front);
    benchmark::DoNotOptimize(bad);
    benchmark::DoNotOptimize(front.triangles.data());
    benchmark::DoNotOptimize(back.triangles.data());
  }
  state.counters["triangles"] = sphere.TriangleCount();
  state.counters["ns_per_triangle"] = benchmark::Counter(
      static_cast<double>(sphere.TriangleCount()) * static_cast<double>(state.iterations()) * 1e-9,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SplitSphere)->Arg(12)->Arg(36)->Arg(112)->Arg(354)->Unit(benchmark::kMillisecond);
