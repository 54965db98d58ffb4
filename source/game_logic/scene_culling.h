#pragma once
// SceneCulling: carries out SlowFrameCuller's decisions on the object table.
// Once per frame it counts the objects besides the ground and those light
// enough to go (lighter than kCullMassLimit; the ground weighs 1e9), asks the
// culler, logs what it decided and removes the object chosen.

#include <cstdint>
#include <map>

#include "game_logic/slow_frame_culler.h"

class SceneCulling {
 public:
  // Culling takes only objects lighter than this (mass units).
  static constexpr float kCullMassLimit = 10000.0f;

  // The grace period begins at `now` (seconds); see SlowFrameCuller::Restart.
  void Restart(double now) { culler.Restart(now); }
  // One frame at time `now` with the smoothed frame time and the threshold
  // above which frames are slow, both in seconds.
  void Update(double now, double smoothedFrameTime, double slowFrameTime);

  // (age, object number) of every live object but the ground with a
  // PhysicsComp lighter than massLimit, ascending by age.
  static void CollectCandidates(float massLimit, std::multimap<int32_t, uint32_t>& candidates);

 private:
  SlowFrameCuller culler;
};
