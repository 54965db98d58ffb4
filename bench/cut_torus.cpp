// BM_CutTorus/<triangles>/<plane>: one cut of a torus (major radius 1, tube
// radius 0.35, axis y) through its hole: SplitMesh and CloseCut on both
// halves. Plane 0 passes through the centre nearly across the axis, normal
// normalize(0.1, 1, 0.05): each half is a ring whose opening is two nested
// loops, capped by the ear clipper with a hole bridged in. Plane 1 passes
// through the centre nearly along the axis, normal normalize(1, 0.05, 0.1):
// each half is a C whose two separate disc-shaped openings are fanned.
//
// BM_CapTorus/<triangles>/<plane>: CloseCut alone on both halves of the same
// cut (the halves are copied afresh, with room for the caps, outside the
// timing).
//
// 100k triangles: 500 x 100 quads; 1M: 2000 x 250.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "geom/close_cut.h"
#include "geom/mesh_splitter.h"

namespace {

Mesh BuildTorus(uint32_t rings, uint32_t sides) {
  constexpr float kMajor = 1.0f, kMinor = 0.35f, kTwoPi = 6.2831853f;
  Mesh torus;
  torus.ReserveVertices(static_cast<size_t>(rings) * sides);
  torus.ReserveTriangles(2 * static_cast<size_t>(rings) * sides);
  for (uint32_t i = 0; i < rings; ++i)
    for (uint32_t j = 0; j < sides; ++j) {
      const float u = kTwoPi * i / rings, v = kTwoPi * j / sides;
      const float r = kMajor + kMinor * std::cos(v);
      torus.AddVertex(Vertex(r * std::cos(u), kMinor * std::sin(v), -r * std::sin(u)));
    }
  auto at = [sides, rings](uint32_t i, uint32_t j) { return (i % rings) * sides + j % sides; };
  for (uint32_t i = 0; i < rings; ++i)
    for (uint32_t j = 0; j < sides; ++j) {
      torus.AddTriangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
      torus.AddTriangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
    }
  return torus;
}

const Mesh& Torus(int64_t triangles) {
  static const Mesh small = BuildTorus(500, 100), large = BuildTorus(2000, 250);
  return triangles <= 100000 ? small : large;
}

Plane ThroughHole(int64_t kind) {
  const Vector normal = kind == 0 ? Vector(0.1f, 1.0f, 0.05f) : Vector(1.0f, 0.05f, 0.1f);
  return Plane(Normalize(normal), Vector(0.0f, 0.0f, 0.0f));
}

void SetCounters(benchmark::State& state, const Mesh& torus) {
  state.counters["triangles"] = torus.TriangleCount();
}

}  // namespace

static void BM_CutTorus(benchmark::State& state) {
  const Mesh& torus = Torus(state.range(0));
  const Plane plane = ThroughHole(state.range(1));
  for (auto _ : state) {
    Mesh front, back;
    SplitContext context;
    SplitMesh(torus, plane, front, back, context);
    CloseCut(front, context.frontCutSet);
    CloseCut(back, context.backCutSet);
    benchmark::DoNotOptimize(front.triangles.data());
    benchmark::DoNotOptimize(back.triangles.data());
  }
  SetCounters(state, torus);
}
BENCHMARK(BM_CutTorus)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond);

static void BM_CapTorus(benchmark::State& state) {
  constexpr size_t kCapRoom = 1 << 16;  // triangles, more than any cap here
  const Mesh& torus = Torus(state.range(0));
  Mesh front, back;
  SplitContext context;
  SplitMesh(torus, ThroughHole(state.range(1)), front, back, context);
  for (auto _ : state) {
    state.PauseTiming();
    Mesh f = front, b = back;
    // A copy has no room to spare; the splitter's halves have room for caps.
    f.ReserveTriangles(f.TriangleCount() + kCapRoom);
    b.ReserveTriangles(b.TriangleCount() + kCapRoom);
    f.ReindexTriangles();  // as the splitter leaves its halves
    b.ReindexTriangles();
    state.ResumeTiming();
    CloseCut(f, context.frontCutSet);
    CloseCut(b, context.backCutSet);
    benchmark::DoNotOptimize(f.triangles.data());
    benchmark::DoNotOptimize(b.triangles.data());
  }
  SetCounters(state, torus);
}
BENCHMARK(BM_CapTorus)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Unit(benchmark::kMillisecond);
