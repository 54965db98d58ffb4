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

// What the scene holds, as of the last SetScene; piecesMade counts every
// piece a cut has made since the start (or the last reset).
struct SceneCounts {
  int bodiesAwake = 0;
  int bodiesAsleep = 0;
  int contacts = 0;  // contact points of the latest collision frame
  long piecesMade = 0;
};

// Every figure of the JSON line, in its units: what --stats prints at exit
// and the statistics overlay shows while the program runs.
struct FrameSummary {
  size_t frames = 0;
  double meanMs = 0.0, minMs = 0.0, medianMs = 0.0, p95Ms = 0.0, worstMs = 0.0;
  double load = 0.0;  // mean frame work over the frame budget
  double stepMs[static_cast<int>(FrameStep::kCount)] = {};  // mean of each step
  SceneCounts scene;
};

class FrameStats {
 public:
  std::atomic<bool> enabled{false};  // nothing is recorded while false

  void AddFrame(double seconds);
  void AddStep(FrameStep step, double seconds);
  void RequestReset() { resetRequested = true; }
  // Counts are kept whether or not recording is enabled.
  void SetScene(int bodiesAwake, int bodiesAsleep, int contacts);
  void AddPieces(int count);

  // The nearest-rank percentile p (0 < p <= 100) of the frame times in
  // seconds: the smallest time that at least p % of the frames do not
  // exceed. 0 without frames.
  double FramePercentile(double p);
  double StepMean(FrameStep step);  // seconds; 0 when never timed

  FrameSummary Summarise();
  // {"frames":N,"mean_ms":..,"min_ms":..,...} on one line, no line feed.
  std::string Json() { return Json(Summarise()); }
  static std::string Json(const FrameSummary& summary);
  // The JSON key of a step's mean ("physics_ms").
  static const char* StepKey(FrameStep step);

 private:
  static constexpr int kSteps = static_cast<int>(FrameStep::kCount);

  boost::mutex mutex;
  std::atomic<bool> resetRequested{false};
  std::vector<float> frameTimes;  // seconds
  double stepSum[kSteps] = {};
  long stepCount[kSteps] = {};
  SceneCounts scene;
};
