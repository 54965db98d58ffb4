// BM_SplitSphere/<slices>: the work of one cut before the physics is
// regenerated. A UV sphere of radius 2 (slices = stacks) is cut by the plane
// through its centre with normal normalize(1, 0.3, 0.2); one iteration runs
// SplitMesh, CloseCut on both halves and IsDegenerate on both halves.
// CloseCut's log lines go to standard output as in the engine.
//
// BM_NaiveSplitSphere/<slices>: the yardstick for it, the plainest linear
// split-and-cap of the same sphere by the same plane: classify the vertices,
// one pass over the triangles emitting the pieces (whole vertices, index
// triples) with a hash map from crossing edge to new vertex, then link the
// cut segments into loops and fan each. It has no tolerance band, no
// bookkeeping for the caller, no per-corner shading records and no checks,
// so it only works on clean cuts; it stands for the least work a split can
// do. Its working memory is kept from one cut to the next.
//
// Compare the two within one run, interleaved, since a busy machine slows
// memory-bound work unevenly, with the table on standard error and the log
// lines (two per cut) sent to a file rather than a terminal:
//   bench_split_sphere --benchmark_enable_random_interleaving=true
//                      --benchmark_repetitions=10 --benchmark_filter='/(12|354)$'
//                      --benchmark_out=/dev/stderr --benchmark_out_format=console >/dev/null

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "geom/close_cut.h"
#include "geom/mesh_builders.h"
#include "geom/mesh_splitter.h"

namespace {

const Plane kPlane(Normalize(Vector(1.0f, 0.3f, 0.2f, 0.0f)), Vector(0.0f, 0.0f, 0.0f, 0.0f));

void SetCounters(benchmark::State& state, const Mesh& sphere) {
  state.counters["triangles"] = sphere.TriangleCount();
  state.counters["ns_per_triangle"] = benchmark::Counter(
      static_cast<double>(sphere.TriangleCount()) * static_cast<double>(state.iterations()) * 1e-9,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

struct NaiveHalf {
  std::vector<Vertex> vertices;
  std::vector<std::array<uint32_t, 3>> triangles;
  uint32_t VertexCount() const { return static_cast<uint32_t>(vertices.size()); }
};

// Everything the naive split writes, kept from one cut to the next so that
// it never waits on fresh memory either.
struct NaiveCut {
  NaiveHalf front, back;
  std::vector<bool> inFront;
  std::vector<uint32_t> frontIndex, backIndex;
  std::unordered_map<uint64_t, std::pair<uint32_t, uint32_t>> crossing;  // edge -> new vertex
  std::unordered_map<uint32_t, uint32_t> frontNext, backNext;  // cap edges: start -> end
};

void NaiveSplitAndCap(const Mesh& source, const Plane& plane, NaiveCut& cut) {
  const uint32_t n = source.VertexCount();
  auto& [front, back, inFront, frontIndex, backIndex, crossing, frontNext, backNext] = cut;
  for (NaiveHalf* half : {&front, &back}) {
    half->vertices.clear();
    half->triangles.clear();
  }
  crossing.clear();
  inFront.assign(n, false);
  for (uint32_t v = 0; v < n; ++v)
    inFront[v] = plane.SignedDistance(source.vertices[v].Position()) >= 0.0f;
  frontIndex.assign(n, UINT32_MAX);
  backIndex.assign(n, UINT32_MAX);

  auto copy = [&](uint32_t v) {
    NaiveHalf& half = inFront[v] ? front : back;
    uint32_t& i = (inFront[v] ? frontIndex : backIndex)[v];
    if (i == UINT32_MAX) {
      i = half.VertexCount();
      half.vertices.push_back(source.vertices[v]);
    }
    return i;
  };
  // The new vertex on edge (a, b), a in front and b behind: (front, back) index.
  auto crossingVertex = [&](uint32_t a, uint32_t b) {
    const uint64_t key = a < b ? uint64_t(a) << 32 | b : uint64_t(b) << 32 | a;
    auto found = crossing.find(key);
    if (found != crossing.end()) return found->second;
    const Vector p = source.vertices[a].Position(), q = source.vertices[b].Position();
    const float da = plane.SignedDistance(p), db = plane.SignedDistance(q);
    const Vector x = p + (q - p) * (da / (da - db));
    const std::pair<uint32_t, uint32_t> made(front.VertexCount(), back.VertexCount());
    front.vertices.push_back(Vertex(x.x, x.y, x.z));
    back.vertices.push_back(Vertex(x.x, x.y, x.z));
    crossing.emplace(key, made);
    return made;
  };
  auto emit = [](NaiveHalf& half, uint32_t a, uint32_t b, uint32_t c) {
    half.triangles.push_back({a, b, c});
  };

  for (const Triangle& tri : source.triangles) {
    const uint32_t* c = tri.indices;
    if (inFront[c[0]] == inFront[c[1]] && inFront[c[1]] == inFront[c[2]]) {
      emit(inFront[c[0]] ? front : back, copy(c[0]), copy(c[1]), copy(c[2]));
      continue;
    }
    // Turn the triangle so that corner a is the one alone on its side.
    int k = 0;
    while (inFront[c[k]] == inFront[c[(k + 1) % 3]] || inFront[c[k]] == inFront[c[(k + 2) % 3]])
      ++k;
    const uint32_t a = c[k], b = c[(k + 1) % 3], d = c[(k + 2) % 3];
    const bool aFront = inFront[a];
    const auto ab = aFront ? crossingVertex(a, b) : crossingVertex(b, a);
    const auto da = aFront ? crossingVertex(a, d) : crossingVertex(d, a);
    NaiveHalf& alone = aFront ? front : back;
    NaiveHalf& pair = aFront ? back : front;
    const uint32_t abAlone = aFront ? ab.first : ab.second, daAlone = aFront ? da.first : da.second;
    const uint32_t abPair = aFront ? ab.second : ab.first, daPair = aFront ? da.second : da.first;
    emit(alone, copy(a), abAlone, daAlone);
    emit(pair, abPair, copy(b), copy(d));
    emit(pair, abPair, copy(d), daPair);
    // Each side's cap runs against its piece's cut edge.
    (aFront ? frontNext : backNext)[daAlone] = abAlone;
    (aFront ? backNext : frontNext)[abPair] = daPair;
  }

  for (auto [half, next] : {std::make_pair(&front, &frontNext), std::make_pair(&back, &backNext)}) {
    while (!next->empty()) {
      std::vector<uint32_t> loop{next->begin()->first};
      for (auto step = next->find(loop.back()); step != next->end();
           step = next->find(loop.back())) {
        const uint32_t to = step->second;
        next->erase(step);
        if (to == loop.front()) break;
        loop.push_back(to);
      }
      for (size_t i = 1; i + 1 < loop.size(); ++i) emit(*half, loop[0], loop[i], loop[i + 1]);
    }
  }
}

}  // namespace

static void BM_SplitSphere(benchmark::State& state) {
  const uint32_t slices = static_cast<uint32_t>(state.range(0));
  const Mesh sphere = BuildSphere(slices, slices, 2.0f);
  for (auto _ : state) {
    Mesh front, back;
    SplitContext context;
    SplitMesh(sphere, kPlane, front, back, context);
    CloseCut(front, context.frontCutSet);
    CloseCut(back, context.backCutSet);
    const bool bad = IsDegenerate(back) || IsDegenerate(front);
    benchmark::DoNotOptimize(bad);
    benchmark::DoNotOptimize(front.triangles.data());
    benchmark::DoNotOptimize(back.triangles.data());
  }
  SetCounters(state, sphere);
}
BENCHMARK(BM_SplitSphere)->Arg(12)->Arg(36)->Arg(112)->Arg(354)->Unit(benchmark::kMillisecond);

static void BM_NaiveSplitSphere(benchmark::State& state) {
  const uint32_t slices = static_cast<uint32_t>(state.range(0));
  const Mesh sphere = BuildSphere(slices, slices, 2.0f);
  NaiveCut cut;
  for (auto _ : state) {
    NaiveSplitAndCap(sphere, kPlane, cut);
    benchmark::DoNotOptimize(cut.front.triangles.data());
    benchmark::DoNotOptimize(cut.back.triangles.data());
  }
  SetCounters(state, sphere);
}
BENCHMARK(BM_NaiveSplitSphere)->Arg(12)->Arg(354)->Unit(benchmark::kMillisecond);
