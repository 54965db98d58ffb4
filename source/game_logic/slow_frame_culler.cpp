#include "game_logic/slow_frame_culler.h"

#include <algorithm>

void SlowFrameCuller::Restart(double now) {
  phase = Phase::kIdle;
  graceUntil = now + kGraceSeconds;
  framesSinceRestart = 0;
  batchLeft = settleLeft = 0;
  warned = false;
  fastSince = -1.0;
}

SlowFrameCuller::Action SlowFrameCuller::Unable() {
  if (warned) return Action::kNone;
  warned = true;
  return Action::kUnable;
}

SlowFrameCuller::Action SlowFrameCuller::Update(double now, double smoothedFrameTime,
                                                double slowFrameTime, int objects,
                                                int removable) {
  ++framesSinceRestart;
  if (now < graceUntil || framesSinceRestart <= kGraceFrames) return Action::kNone;
  const bool slow = smoothedFrameTime > slowFrameTime;
  if (!slow) warned = false;
  // What may go without taking the scene below its floor.
  const int spare = std::min(removable, objects - kMinObjects);

  switch (phase) {
    case Phase::kPaused: {
      const bool grown =
          objects >= pausedAt + std::max(kResumeObjects, static_cast<int>(pausedAt * kResumeGrowth));
      if (slow) fastSince = -1.0;
      else if (fastSince < 0.0) fastSince = now;
      const bool fastLongEnough = fastSince >= 0.0 && now - fastSince >= kResumeFastSeconds;
      if (!grown && !fastLongEnough) return Action::kNone;
      phase = Phase::kIdle;
      fastSince = -1.0;
      [[fallthrough]];
    }
    case Phase::kIdle:
      if (!slow) return Action::kNone;
      if (spare <= 0 || objects <= kCullFrom) return Unable();
      baseline = smoothedFrameTime;
      batchSize = batchLeft = std::max(1, spare / kBatchDivisor);
      phase = Phase::kRemoving;
      [[fallthrough]];
    case Phase::kRemoving: {
      if (!slow) {
        phase = Phase::kIdle;
        return Action::kNone;
      }
      const bool first = batchLeft == batchSize;
      if (spare <= 0 || --batchLeft <= 0) {
        phase = Phase::kSettling;
        settleLeft = kSettleFrames;
      }
      if (spare <= 0) return Unable();
      return first ? Action::kStartBatch : Action::kRemoveOldest;
    }
    case Phase::kSettling:
      if (--settleLeft > 0) return Action::kNone;
      // Fast again, or clearly faster than before the batch: go on as needed.
      if (!slow || smoothedFrameTime < baseline * (1.0 - kMinGain)) {
        phase = Phase::kIdle;
        return Action::kNone;
      }
      phase = Phase::kPaused;
      pausedAt = objects;
      fastSince = -1.0;
      return Action::kPause;
  }
  return Action::kNone;
}
