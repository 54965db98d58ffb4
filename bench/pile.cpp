// BM_Pile/N: N solids dropped in a pile on the ground plane, collision and
// physics stepped in lockstep for 600 steps of 1/60 s.
//
// The solids and their grid are pile::Layout's (pile_layout.h): box, sphere
// and cone of size 0.75 in turn, density 10, gravity 10, in columns and
// layers 2 apart, identity orientation. Multiple contacts are on.
//
// Counters: collision_ms and physics_ms, the mean milliseconds per step of
// each half over the last 300 steps (the pile has formed by then), on the
// stepping thread's CPU clock, so a busy shared machine does not inflate them;
// moving, the number of bodies still faster than 0.1 units/s at the end.
//
// BM_SettledPile/N: the same pile, stepped until every body sleeps (at most
// kSettleSteps steps), then timed over kMeasuredSteps more: what a pile at
// rest costs per step. asleep counts the sleeping bodies at the end.
//
// BM_HeapSolve/N: the contact solve alone, on the rows of one step of the
// jittered heap of N pieces while it forms (step 200): every iteration solves
// those rows from the same start (the same bodies and warm-start cache), so
// solver changes compare on the same work, whatever the heap does after.
// Counters: rows, and ns_per_row_visit (per row and sweep, relax included).
//
// BM_Heap/N: the jittered heap (pile::Layout with jitter: every solid a
// little offset and turned, so the heap does not stand in columns), run as
// pile::RunHeap says; bench_pile_bullet runs the same heap in the reference
// engine. Counters: seconds_to_95pct_asleep and seconds_to_all_asleep
// (simulated; -1 when not reached in the run), collision_ms, physics_ms and
// wall_ms per step over steps 60-360 while the heap forms, settled_ms (CPU,
// both halves) and settled_wall_ms per step once 95 % sleep; at the end,
// asleep, and mean_height and max_radius of the bodies' centres (how tall
// and how wide the heap came to rest).

#include <chrono>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "pile_layout.h"
#include "physics/physics.h"
#include "scene/headless_scene.h"

namespace {

constexpr int kSteps = 600;
constexpr int kMeasuredSteps = 300;  // the last ones
constexpr int kSettleSteps = 6000;   // 100 simulated seconds at most
constexpr float kMovingSpeed = 0.1f;

double MeanMilliseconds(const std::vector<double>& seconds) {
  const auto first = seconds.end() - kMeasuredSteps;
  return 1000.0 * std::accumulate(first, seconds.end(), 0.0) / kMeasuredSteps;
}

void BuildPile(HeadlessScene& scene, int count, std::vector<uint32_t>& ids, bool jitter = false) {
  for (const pile::Solid& solid : pile::Layout(count, jitter)) {
    ids.push_back(scene.AddSolid(solid.name, solid.position, solid.dimensions, solid.shape,
                                 solid.orientation, pile::kDensity, pile::kGravity));
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

void BM_HeapSolve(benchmark::State& state) {
  constexpr int kFormingSteps = 200;
  HeadlessScene scene(true);
  std::vector<uint32_t> ids;
  BuildPile(scene, static_cast<int>(state.range(0)), ids, true);
  scene.Step(kFormingSteps);
  const PhysicsWorld& world = Physics::Instance().World();
  const int iterations = PhysicsWorld::kSolverIterations;
  double seconds = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<RigidBody> bodies = world.bodies;
    ConstraintSolver solver = world.solver;
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    solver.Solve(bodies, static_cast<float>(HeadlessScene::kStepSeconds), 1.0f, iterations, true,
                 PhysicsWorld::kRelaxIterations);
    benchmark::DoNotOptimize(bodies.data());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double visits = static_cast<double>(world.solver.RowCount()) *
                        (iterations + PhysicsWorld::kRelaxIterations);
  state.counters["rows"] = static_cast<double>(world.solver.RowCount());
  state.counters["ns_per_row_visit"] = 1e9 * seconds / (visits * state.iterations());
}

void BM_Heap(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  pile::HeapResult result;
  for (auto _ : state) {
    HeadlessScene scene(true);
    std::vector<uint32_t> ids;
    BuildPile(scene, count, ids, true);
    const auto step = [&] {
      const auto start = std::chrono::steady_clock::now();
      scene.Step(1);
      const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
      return pile::StepCost{scene.collisionSeconds.back(), scene.physicsSeconds.back(), wall.count()};
    };
    const auto asleep = [&] {
      int n = 0;
      for (uint32_t id : ids) n += scene.Body(id).sleeping ? 1 : 0;
      return n;
    };
    result = pile::RunHeap(count, step, asleep);
    std::vector<Vector> centres;
    for (uint32_t id : ids) centres.push_back(scene.Object(id).position);
    pile::Spread(centres, result);
  }
  pile::Report(state, result);
}

}  // namespace

BENCHMARK(BM_SettledPile)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pile)->Arg(3)->Arg(100)->Arg(300)->Arg(1000)->Iterations(1)->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_HeapSolve)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Heap)->Arg(100)->Arg(300)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);
