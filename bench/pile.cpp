// BM_Pile/N: N solids dropped in a pile on the ground plane, collision and
// physics stepped in lockstep for 600 steps of 1/60 s.
//
// The solids cycle box (half extents 0.75), sphere (radius 0.75) and cone
// (base radius 0.75, height 1.5), density 10, identity orientation, each with
// gravity g = 10. They stand in columns 2 apart on a square grid of
// ceil(cbrt(N)) x ceil(cbrt(N)) columns centred on the origin, in layers 2
// apart from y = 2 upwards. Multiple contacts are on.
//
// Counters: collision_ms and physics_ms, the mean milliseconds per step of
// each half over the last 300 steps (the pile has formed by then), on the
// stepping thread's CPU clock, so a busy shared machine does not inflate them;
// moving, the number of bodies still faster than 0.1 units/s at the end.
//
// BM_SettledPile/N: the same pile, stepped until every body sleeps (at most
// kSettleSteps steps), then timed over kMeasuredSteps more: what a pile at
// rest costs per step. asleep counts the sleeping bodies at the end.

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "scene/headless_scene.h"

namespace {

constexpr int kSteps = 600;
constexpr int kMeasuredSteps = 300;  // the last ones
constexpr int kSettleSteps = 6000;   // 100 simulated seconds at most
constexpr float kSize = 0.75f;       // half extent, radius, half height
constexpr float kSpacing = 2.0f;     // units between columns and layers
constexpr float kFirstLayer = 2.0f;  // height of the lowest layer
constexpr float kMovingSpeed = 0.1f;

double MeanMilliseconds(const std::vector<double>& seconds) {
  const auto first = seconds.end() - kMeasuredSteps;
  return 1000.0 * std::accumulate(first, seconds.end(), 0.0) / kMeasuredSteps;
}

void BuildPile(HeadlessScene& scene, int count, std::vector<uint32_t>& ids) {
  const int side = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(count)) - 1e-9));
  const float offset = 0.5f * kSpacing * static_cast<float>(side - 1);
  const ModelType shapes[3] = {Box, Sphere, Cone};
  for (int i = 0; i < count; ++i) {
    const int layer = i / (side * side);
    const int column = i % (side * side);
    const Vector position(kSpacing * static_cast<float>(column % side) - offset,
                          kFirstLayer + kSpacing * static_cast<float>(layer),
                          kSpacing * static_cast<float>(column / side) - offset);
    const ModelType shape = shapes[i % 3];
    const Vector dimensions = shape == Sphere ? Vector(kSize, 0, 0) : Vector(kSize, kSize, kSize);
    ids.push_back(scene.AddSolid("pile" + std::to_string(i), position, dimensions, shape));
  }
}

void BM_Pile(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  double collisionMs = 0.0, physicsMs = 0.0;
  int moving = 0;
  for (auto _ : state) {
    state.PauseTiming();
    HeadlessScene scene(true);
    std::vector<uint32_t> ids;
    BuildPile(scene, count, ids);
    state.ResumeTiming();

    scene.Step(kSteps);

    state.PauseTiming();
    collisionMs = MeanMilliseconds(scene.collisionSeconds);
    physicsMs = MeanMilliseconds(scene.physicsSeconds);
    moving = 0;
    for (uint32_t id : ids) {
      if (Length(scene.Body(id).linearVelocity) > kMovingSpeed) ++moving;
    }
    state.ResumeTiming();
  }
  state.counters["collision_ms"] = collisionMs;
  state.counters["physics_ms"] = physicsMs;
  state.counters["moving"] = moving;
}

void BM_SettledPile(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  double collisionMs = 0.0, physicsMs = 0.0;
  int asleep = 0;
  for (auto _ : state) {
    state.PauseTiming();
    HeadlessScene scene(true);
    std::vector<uint32_t> ids;
    BuildPile(scene, count, ids);
    auto sleeping = [&] {
      int n = 0;
      for (uint32_t id : ids) n += scene.Body(id).sleeping ? 1 : 0;
      return n;
    };
    for (int step = 0; step < kSettleSteps && sleeping() < count; step += 60) scene.Step(60);
    state.ResumeTiming();

    scene.Step(kMeasuredSteps);

    state.PauseTiming();
    collisionMs = MeanMilliseconds(scene.collisionSeconds);
    physicsMs = MeanMilliseconds(scene.physicsSeconds);
    asleep = sleeping();
    state.ResumeTiming();
  }
  state.counters["collision_ms"] = collisionMs;
  state.counters["physics_ms"] = physicsMs;
  state.counters["asleep"] = asleep;
}

}  // namespace

BENCHMARK(BM_SettledPile)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pile)->Arg(3)->Arg(100)->Arg(300)->Arg(1000)->Iterations(1)->Unit(
    benchmark::kMillisecond);
