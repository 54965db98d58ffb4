#pragma once
// SlowFrameCuller: decides, once per frame, whether the scene sheds an object
// because frames are slow. It sheds load, never the world:
//
// - it judges by the smoothed frame time, so one slow frame never counts;
// - it waits a grace period after the program starts and after a Reset,
//   while the first frames are slow for reasons of their own;
// - it starts only when the scene holds more than kCullFrom objects besides
//   the ground (a few objects never make frames slow), and never takes it
//   below kMinObjects;
// - it removes in batches (a fifth of what could go, one object per frame),
//   lets the average settle, and checks that frames got faster. When a
//   batch did not help (the frames are slow for another reason: the
//   renderer, a busy machine), it pauses until the scene has grown by a
//   quarter (at least kResumeObjects) or frames have been fast for a while;
// - it asks for the "Unable to cull objects" warning at most once per slow
//   spell (a run of slow frames between two fast ones).
//
// Plain logic on the numbers it is given, so it can be driven without a
// window or the object table.

#include <cstdint>

class SlowFrameCuller {
 public:
  enum class Action {
    kNone,
    kStartBatch,    // a batch of BatchSize() removals starts: remove the oldest now
    kRemoveOldest,  // remove the oldest removable object this frame
    kUnable,        // frames are slow and nothing may go: warn
    kPause,         // a batch did not make frames faster: culling pauses
  };

  static constexpr double kGraceSeconds = 3.0;  // after a start or a Reset
  static constexpr int64_t kGraceFrames = 60;   // and at least this many frames
  static constexpr int kMinObjects = 3;         // besides the ground, always kept
  static constexpr int kCullFrom = 20;          // a batch starts only above this many
  static constexpr int kBatchDivisor = 5;       // a batch is 1/5 of what may go
  static constexpr int kSettleFrames = 30;      // frames after a batch before judging it
  static constexpr double kMinGain = 0.05;      // a batch must make frames this much faster
  static constexpr double kResumeGrowth = 0.25;  // a paused culler resumes at +25% objects
  static constexpr int kResumeObjects = 10;      // and at least this many more
  static constexpr double kResumeFastSeconds = 2.0;  // or after this long of fast frames

  // A start or a Reset at time `now` (seconds): the grace period begins and
  // any batch or pause is forgotten.
  void Restart(double now);

  // One frame at time `now`. smoothedFrameTime and slowFrameTime in seconds;
  // objects: objects besides the ground; removable: how many of them could
  // be removed (the candidates).
  Action Update(double now, double smoothedFrameTime, double slowFrameTime, int objects,
                int removable);
  int BatchSize() const { return batchSize; }

 private:
  enum class Phase { kIdle, kRemoving, kSettling, kPaused };

  // kUnable the first time in a slow spell, else kNone.
  Action Unable();

  Phase phase = Phase::kIdle;
  double graceUntil = kGraceSeconds;
  int64_t framesSinceRestart = 0;
  double baseline = 0.0;      // smoothed frame time when the batch began
  int batchSize = 0;          // removals the current batch started with
  int batchLeft = 0;          // removals left in the batch
  int settleLeft = 0;         // frames left before the batch is judged
  int pausedAt = 0;           // objects when culling paused
  double fastSince = -1.0;    // start of the current run of fast frames while paused
  bool warned = false;        // kUnable was given in this slow spell
};
