// Slow-frame culling against two simulated machines: one whose frames are
// slow whatever the scene holds (a software renderer on a busy machine) and
// one whose frame time grows with the number of objects.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "game_logic/slow_frame_culler.h"

namespace {

using Action = SlowFrameCuller::Action;

// Frames of a machine whose work per frame is workTime(objects), smoothed as
// the engine smooths it (exponential average, 1/60 s floor of the pacing).
struct Machine {
  std::function<double(int)> workTime;
  int objects = 0;
  double now = 0.0, smoothed = 1.0 / 60.0;
  int removed = 0, batches = 0, unable = 0, pauses = 0;

  void Run(SlowFrameCuller& culler, double seconds, double slow = 1.0 / 30.0) {
    const double end = now + seconds;
    while (now < end) {
      const double work = workTime(objects);
      now += std::max(work, 1.0 / 60.0);
      smoothed = 0.9 * smoothed + 0.1 * std::max(work, 1.0 / 60.0);
      switch (culler.Update(now, smoothed, slow, objects, objects)) {
        case Action::kStartBatch: ++batches, --objects, ++removed; break;
        case Action::kRemoveOldest: --objects, ++removed; break;
        case Action::kUnable: ++unable; break;
        case Action::kPause: ++pauses; break;
        case Action::kNone: break;
      }
    }
  }
};

}  // namespace

TEST(SlowFrameCuller, FramesSlowForOtherReasonsNeverCostTheWorld) {
  // 0.2 s per frame whatever the scene: the first frames of a default run.
  // A handful of objects (the start objects, a cut, a shot) is never culled.
  Machine slowRenderer{[](int) { return 0.2; }, 20};
  SlowFrameCuller culler;
  culler.Restart(0.0);
  slowRenderer.Run(culler, 60.0);
  EXPECT_EQ(slowRenderer.removed, 0);
  // Warned about once for the whole slow spell (and not in the grace period).
  EXPECT_EQ(slowRenderer.unable, 1);

  // With shots on the ground: one batch is tried, it does not help, and
  // culling pauses instead of eating the scene.
  slowRenderer.objects = 40;
  slowRenderer.Run(culler, 120.0);
  EXPECT_EQ(slowRenderer.pauses, 1);
  EXPECT_EQ(slowRenderer.batches, 1);
  EXPECT_EQ(slowRenderer.removed, (40 - 3) / 5);
  // The scene grows by a quarter: one more batch, one more pause.
  slowRenderer.objects += 10;
  slowRenderer.Run(culler, 120.0);
  EXPECT_EQ(slowRenderer.pauses, 2);
  EXPECT_LE(slowRenderer.removed, (40 - 3) / 5 + 50 / 5);
  // Fast frames for a while, then slow again: culling resumes only after
  // two seconds of fast frames (the average falls below 1/30 s in 0.4 s).
  for (const double fast : {1.0, 3.0}) {
    const int batches = slowRenderer.batches;
    slowRenderer.workTime = [](int) { return 0.01; };
    slowRenderer.Run(culler, fast);
    slowRenderer.workTime = [](int) { return 0.2; };
    slowRenderer.Run(culler, 20.0);
    EXPECT_EQ(slowRenderer.batches, batches + (fast > 2.0 ? 1 : 0)) << fast;
  }

  // A Reset starts a new grace period: nothing happens in its first 3 s.
  Machine afterReset{[](int) { return 0.2; }, 40, slowRenderer.now};
  culler.Restart(afterReset.now);
  afterReset.Run(culler, 2.9);
  EXPECT_EQ(afterReset.removed + afterReset.unable, 0);
}

TEST(SlowFrameCuller, ManyObjectsAreShedUntilFramesAreFastAgain) {
  // 4 ms plus 0.2 ms per object: 304 objects take 64.8 ms a frame, and the
  // frames are fast (1/30 s) again below 147 objects.
  Machine crowded{[](int n) { return 0.004 + 0.0002 * n; }, 304};
  SlowFrameCuller culler;
  culler.Restart(0.0);
  crowded.Run(culler, 3.0);
  EXPECT_EQ(crowded.removed, 0);  // grace
  crowded.Run(culler, 120.0);
  EXPECT_EQ(crowded.pauses, 0);
  EXPECT_LE(crowded.objects, 147);
  EXPECT_GE(crowded.objects, 120);  // no more than needed, give or take a batch
  EXPECT_LT(crowded.workTime(crowded.objects), 1.0 / 30.0);
}
