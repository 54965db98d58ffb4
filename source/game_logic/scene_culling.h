#pragma once
// SceneCulling: carries out SlowFrameCuller's decisions on the object table,
// and tells the user. Once per frame it counts the objects besides the
// ground and those light enough to go (lighter than kCullMassLimit; the
// ground weighs 1e9), asks the culler, logs what it decided and removes the
// object chosen: first what the user cannot see and is not using (asleep and
// out of view), then out of view, then asleep, then the rest; the oldest
// first within each of these.
//
// Each removal shows a notice for kNoticeSeconds: how many pieces went since
// the notice appeared, and why. Switched off, it removes nothing and warns
// about nothing.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "game_logic/slow_frame_culler.h"

class Camera;

class SceneCulling {
 public:
  // Culling takes only objects lighter than this (mass units).
  static constexpr float kCullMassLimit = 10000.0f;
  // How long a notice stays after the last removal, seconds.
  static constexpr double kNoticeSeconds = 5.0;

  // The grace period begins at `now` (seconds); see SlowFrameCuller::Restart.
  void Restart(double now) {
    culler.Restart(now);
    noticeUntil = -1.0;
  }
  // One frame at time `now` (seconds) with the smoothed frame time (seconds),
  // the frame time above which frames are slow (ms) and whether culling is
  // on. The camera tells what is in view.
  void Update(double now, double smoothedFrameTime, float slowFrameMs, bool on,
              const Camera& camera);
  // The notice to show at `now`, or an empty string.
  std::string Notice(double now) const { return now < noticeUntil ? notice : std::string(); }

  // (rank, -age) and number of every live object but the ground with a
  // PhysicsComp lighter than massLimit, best to remove first. Rank 0: asleep
  // and out of view, 1: out of view, 2: asleep, 3: in view and awake.
  static std::vector<std::pair<std::pair<int, int32_t>, uint32_t>> RankCandidates(
      float massLimit, const Camera& camera);

 private:
  SlowFrameCuller culler;
  int removed = 0;           // removals since the notice appeared
  double noticeUntil = -1.0;  // the notice shows until then
  std::string notice;
};
