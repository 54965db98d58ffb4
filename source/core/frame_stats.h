#pragma once
// FrameStats: the figures of the --stats option. While enabled it keeps the
// work time of every frame (one float each: about 0.9 MB per hour at 60
// frames per second) and, for each timed step of a frame, the sum and count
// of its durations. At exit Json() turns them into one line of JSON; the
// keys and units are listed in the README's command-line section.
//
// Any thread may record (the passes are timed on the main thread, physics
// and collision on their workers); one mutex guards the figures.
// RequestReset only sets a lock-free flag, so a signal handler may call it:
// the next frame recorded first discards everything gathered so far.

#include <atomic>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>

// The timed steps of a frame, in the order of the JSON line.
enum class FrameStep {
  kMeshUpload,     // vertex buffers of new meshes, deletion of released ones
  kGeometryPass,   // objects into the depth and lit-colour targets
  kOcclusionPass,  // ambient occlusion into its own target
  kFinalPass,      // shading into the window
  kOverlays,       // debug lines, tweak bar, help icon, instruction picture
  kPresent,        // flush, buffer swap and window events
  kPhysics,        // one physics update (physics thread)
  kCollision,      // one collision update (collision thread)
  kCount
};

class FrameStats {
 public:
  std::atomic<bool> enabled{false};  // nothing is recorded while false

  void AddFrame(double seconds);
  void AddStep(FrameStep step, double seconds);
  void RequestReset() { resetRequested = true; }

  // The nearest-rank percentile p (0 < p <= 100) of the frame times in
  // seconds: the smallest time that at least p % of the frames do not
  // exceed. 0 without frames.
  double FramePercentile(double p);
  double StepMean(FrameStep step);  // seconds; 0 when never timed

  // {"frames":N,"mean_ms":..,"min_ms":..,...} on one line, no line feed.
  std::string Json();

 private:
  static constexpr int kSteps = static_cast<int>(FrameStep::kCount);

  boost::mutex mutex;
  std::atomic<bool> resetRequested{false};
  std::vector<float> frameTimes;  // seconds
  double stepSum[kSteps] = {};
  long stepCount[kSteps] = {};
};
