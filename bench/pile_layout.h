#pragma once
// The solids of the pile benchmarks, and how a heap run is stepped and
// measured, shared by the benchmark of this engine (pile.cpp) and the one of
// the reference engine (pile_bullet.cpp), so both get exactly the same
// bodies in the same places and report the same figures.
//
// The solids cycle box (half extents 0.75), sphere (radius 0.75) and cone
// (base radius 0.75, height 1.5), density 10, gravity 10. They stand in
// columns 2 apart on a square grid of ceil(cbrt(N)) x ceil(cbrt(N)) columns
// centred on the origin, in layers 2 apart from y = 2 upwards, named
// "pile<i>".
//
// The jittered heap moves each solid by an offset drawn uniformly in
// [-0.07, 0.07] on each axis and turns it about a uniformly drawn axis by an
// angle drawn uniformly in [-0.1, 0.1] rad (about 6 degrees), so that the
// heap does not stand in perfect columns. The draws come from std::mt19937
// seeded with kJitterSeed, turned into numbers by this file's own arithmetic
// (the standard distributions differ between standard libraries), so the
// heap is the same everywhere. The bounds keep neighbours apart at the
// start: a turn by a moves a point at distance r from the centre by at most
// r a, so a box (corner at 1.3) reaches at most 0.75 + 0.13 along an axis,
// and two neighbours 2 apart, each offset by up to 0.07, keep 0.1 between
// their meshes: more than the two margins of the reference engine's hulls
// (0.04 each); this engine counts hulls that overlap by no more than their
// margins as touching.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "math/quaternion.h"
#include "math/vector.h"
#include "scene/model_type.h"

namespace pile {

constexpr float kSize = 0.75f;       // half extent, radius, half height
constexpr float kSpacing = 2.0f;     // units between columns and layers
constexpr float kFirstLayer = 2.0f;  // height of the lowest layer
constexpr float kDensity = 10.0f;
constexpr float kGravity = 10.0f;

constexpr uint32_t kJitterSeed = 20240607u;
constexpr float kJitterOffset = 0.07f;  // units, each axis
constexpr float kJitterTurn = 0.1f;     // radians

// How a heap run is stepped and measured, in 1/60 s steps.
constexpr double kStepSeconds = 1.0 / 60.0;
constexpr int kCapSteps = 3600;         // 60 simulated seconds at most
constexpr int kAwakeFirstStep = 60;     // the heap forming: steps [60, 360)
constexpr int kAwakeEndStep = 360;
constexpr double kAsleepFraction = 0.95;
// Once 95 % sleep, the run goes on until all sleep or for this many more
// steps, whichever comes first; then the settled cost is the mean of
// kSettledSteps further steps.
constexpr int kAfterAsleepSteps = 600;
constexpr int kSettledSteps = 300;

struct Solid {
  std::string name;
  ModelType shape = Box;
  Vector position;
  Vector dimensions;  // as BuildSolid reads them
  Quaternion orientation;
};

// A draw in [-1, 1] from the top 24 bits of one mt19937 output.
inline float Symmetric(std::mt19937& random) {
  return static_cast<float>(random() >> 8) * (2.0f / 16777216.0f) - 1.0f;
}

// The N solids of the pile; jittered as the header says when `jitter`.
inline std::vector<Solid> Layout(int count, bool jitter) {
  const int side = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(count)) - 1e-9));
  const float offset = 0.5f * kSpacing * static_cast<float>(side - 1);
  const ModelType shapes[3] = {Box, Sphere, Cone};
  std::mt19937 random(kJitterSeed);
  std::vector<Solid> solids;
  for (int i = 0; i < count; ++i) {
    const int layer = i / (side * side);
    const int column = i % (side * side);
    Solid solid;
    solid.name = "pile" + std::to_string(i);
    solid.shape = shapes[i % 3];
    solid.position = Vector(kSpacing * static_cast<float>(column % side) - offset,
                            kFirstLayer + kSpacing * static_cast<float>(layer),
                            kSpacing * static_cast<float>(column / side) - offset);
    solid.dimensions = solid.shape == Sphere ? Vector(kSize, 0, 0) : Vector(kSize, kSize, kSize);
    if (jitter) {
      for (int axis = 0; axis < 3; ++axis) solid.position[axis] += kJitterOffset * Symmetric(random);
      // A uniform direction: a point of the cube [-1, 1]^3 kept when it lies
      // in the unit ball (and not too near its centre), then normalised.
      Vector axis;
      float length2 = 0.0f;
      do {
        axis = Vector(Symmetric(random), Symmetric(random), Symmetric(random));
        length2 = axis.x * axis.x + axis.y * axis.y + axis.z * axis.z;
      } while (length2 > 1.0f || length2 < 1e-4f);
      axis = axis * (1.0f / std::sqrt(length2));
      solid.orientation = Quaternion::FromAxisAngle(axis, kJitterTurn * Symmetric(random));
    }
    solids.push_back(solid);
  }
  return solids;
}

// The cost of one step: CPU seconds of the stepping thread in the collision
// half and in the rest, and wall seconds of the whole step.
struct StepCost {
  double collision = 0.0;
  double physics = 0.0;
  double wall = 0.0;
};

// What a heap run measured. Times in simulated seconds, -1 when not reached
// within the run; costs in milliseconds per step, -1 when never settled.
struct HeapResult {
  double secondsTo95 = -1.0;
  double secondsToAll = -1.0;
  double awakeCollisionMs = 0.0, awakePhysicsMs = 0.0, awakeWallMs = 0.0;
  double settledMs = -1.0, settledWallMs = -1.0;
  int steps = 0;   // steps run in all
  int asleep = 0;  // bodies asleep at the end
  // Where the heap ended (see Spread): how tall and how wide it is.
  double meanHeight = 0.0, maxRadius = 0.0;
};

// The mean height of the bodies' centres and the largest distance of one
// from the vertical axis through the origin, the heap's centre line.
inline void Spread(const std::vector<Vector>& centres, HeapResult& result) {
  double height = 0.0, radius = 0.0;
  for (const Vector& c : centres) {
    height += c.y;
    radius = std::max(radius, std::hypot(static_cast<double>(c.x), static_cast<double>(c.z)));
  }
  result.meanHeight = centres.empty() ? 0.0 : height / static_cast<double>(centres.size());
  result.maxRadius = radius;
}

// The counters both heap benchmarks report.
inline void Report(benchmark::State& state, const HeapResult& result) {
  state.counters["seconds_to_95pct_asleep"] = result.secondsTo95;
  state.counters["seconds_to_all_asleep"] = result.secondsToAll;
  state.counters["collision_ms"] = result.awakeCollisionMs;
  state.counters["physics_ms"] = result.awakePhysicsMs;
  state.counters["wall_ms"] = result.awakeWallMs;
  state.counters["settled_ms"] = result.settledMs;
  state.counters["settled_wall_ms"] = result.settledWallMs;
  state.counters["asleep"] = result.asleep;
  state.counters["mean_height"] = result.meanHeight;
  state.counters["max_radius"] = result.maxRadius;
}

// Runs the heap of `count` bodies: step() runs one 1/60 s step and returns
// its StepCost, asleep() counts the sleeping bodies. Steps until 95 % sleep
// and the awake window is over, then on until all sleep or for
// kAfterAsleepSteps more, at most kCapSteps in all; when 95 % slept, times
// kSettledSteps more steps as the settled cost (all asleep may first be seen
// there).
template <class StepFn, class AsleepFn>
HeapResult RunHeap(int count, StepFn step, AsleepFn asleep) {
  HeapResult result;
  const int enough = static_cast<int>(std::ceil(kAsleepFraction * count - 1e-9));
  int step95 = -1;
  StepCost awake;
  for (int s = 0; s < kCapSteps; ++s) {
    const StepCost cost = step();
    if (s >= kAwakeFirstStep && s < kAwakeEndStep) {
      awake.collision += cost.collision;
      awake.physics += cost.physics;
      awake.wall += cost.wall;
    }
    result.steps = s + 1;
    const int sleeping = asleep();
    const double t = kStepSeconds * (s + 1);
    if (step95 < 0 && sleeping >= enough) step95 = s, result.secondsTo95 = t;
    if (result.secondsToAll < 0.0 && sleeping == count) result.secondsToAll = t;
    if (step95 >= 0 && s + 1 >= kAwakeEndStep &&
        (result.secondsToAll >= 0.0 || s >= step95 + kAfterAsleepSteps))
      break;
  }
  const double window = 1000.0 / (kAwakeEndStep - kAwakeFirstStep);
  result.awakeCollisionMs = awake.collision * window;
  result.awakePhysicsMs = awake.physics * window;
  result.awakeWallMs = awake.wall * window;
  if (step95 >= 0) {
    double cpu = 0.0, wall = 0.0;
    for (int s = 0; s < kSettledSteps; ++s) {
      const StepCost cost = step();
      cpu += cost.collision + cost.physics;
      wall += cost.wall;
      ++result.steps;
      if (result.secondsToAll < 0.0 && asleep() == count)
        result.secondsToAll = kStepSeconds * result.steps;
    }
    result.settledMs = 1000.0 * cpu / kSettledSteps;
    result.settledWallMs = 1000.0 * wall / kSettledSteps;
  }
  result.asleep = asleep();
  return result;
}

// CPU seconds used by the calling thread: steps are timed on this clock as
// HeadlessScene times them, so time spent waiting for a core on a shared
// machine is not counted as work.
inline double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

}  // namespace pile
