#include "core/frame_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/system.h"

namespace {
// The JSON key of each step's mean, in FrameStep order.
const char* const kStepKeys[] = {"mesh_upload_ms", "geometry_pass_ms", "occlusion_pass_ms",
                                 "final_pass_ms",  "overlays_ms",      "present_ms",
                                 "physics_ms",     "collision_ms"};
static_assert(sizeof kStepKeys / sizeof kStepKeys[0] == static_cast<int>(FrameStep::kCount),
              "one key per step");

// Nearest rank: the value at rank ceil(p/100 n), counted from 1. Reorders.
double Percentile(std::vector<float>& times, double p) {
  if (times.empty()) return 0.0;
  const size_t n = times.size();
  const double rank = std::ceil(p / 100.0 * static_cast<double>(n));
  const size_t index = static_cast<size_t>(std::min(std::max(rank, 1.0), double(n))) - 1;
  std::nth_element(times.begin(), times.begin() + index, times.end());
  return times[index];
}
}  // namespace

void FrameStats::AddFrame(double seconds) {
  if (!enabled) return;
  boost::mutex::scoped_lock lock(mutex);
  if (resetRequested.exchange(false)) {
    frameTimes.clear();
    std::fill(std::begin(stepSum), std::end(stepSum), 0.0);
    std::fill(std::begin(stepCount), std::end(stepCount), 0L);
  }
  frameTimes.push_back(static_cast<float>(seconds));
}

void FrameStats::AddStep(FrameStep step, double seconds) {
  if (!enabled) return;
  boost::mutex::scoped_lock lock(mutex);
  stepSum[static_cast<int>(step)] += seconds;
  ++stepCount[static_cast<int>(step)];
}

double FrameStats::FramePercentile(double p) {
  boost::mutex::scoped_lock lock(mutex);
  std::vector<float> times(frameTimes);
  return Percentile(times, p);
}

double FrameStats::StepMean(FrameStep step) {
  boost::mutex::scoped_lock lock(mutex);
  const int i = static_cast<int>(step);
  return stepCount[i] > 0 ? stepSum[i] / static_cast<double>(stepCount[i]) : 0.0;
}

void FrameStats::SetScene(int bodiesAwake, int bodiesAsleep, int contacts) {
  boost::mutex::scoped_lock lock(mutex);
  scene.bodiesAwake = bodiesAwake;
  scene.bodiesAsleep = bodiesAsleep;
  scene.contacts = contacts;
}

void FrameStats::AddPieces(int count) {
  boost::mutex::scoped_lock lock(mutex);
  scene.piecesMade += count;
}

const char* FrameStats::StepKey(FrameStep step) { return kStepKeys[static_cast<int>(step)]; }

FrameSummary FrameStats::Summarise() {
  FrameSummary summary;
  std::vector<float> times;
  {
    boost::mutex::scoped_lock lock(mutex);
    times = frameTimes;
    summary.scene = scene;
  }
  double sum = 0.0;
  for (float t : times) sum += t;
  const double mean = times.empty() ? 0.0 : sum / static_cast<double>(times.size());
  summary.frames = times.size();
  summary.meanMs = 1000.0 * mean;
  summary.minMs = times.empty() ? 0.0 : 1000.0 * *std::min_element(times.begin(), times.end());
  summary.worstMs = times.empty() ? 0.0 : 1000.0 * *std::max_element(times.begin(), times.end());
  summary.medianMs = 1000.0 * Percentile(times, 50.0);
  summary.p95Ms = 1000.0 * Percentile(times, 95.0);
  // The window title's load figure, unsmoothed: mean work over the budget.
  summary.load = mean / kFrameBudget;
  for (int i = 0; i < kSteps; ++i) summary.stepMs[i] = 1000.0 * StepMean(static_cast<FrameStep>(i));
  return summary;
}

std::string FrameStats::Json(const FrameSummary& summary) {
  std::string json = "{\"frames\":" + std::to_string(summary.frames);
  auto add = [&json](const char* key, double value, const char* format) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, key, value);
    json += buffer;
  };
  add("mean_ms", summary.meanMs, ",\"%s\":%.3f");
  add("min_ms", summary.minMs, ",\"%s\":%.3f");
  add("median_ms", summary.medianMs, ",\"%s\":%.3f");
  add("p95_ms", summary.p95Ms, ",\"%s\":%.3f");
  add("worst_ms", summary.worstMs, ",\"%s\":%.3f");
  add("load", summary.load, ",\"%s\":%.4f");
  for (int i = 0; i < kSteps; ++i) add(kStepKeys[i], summary.stepMs[i], ",\"%s\":%.3f");
  const SceneCounts& scene = summary.scene;
  json += ",\"bodies_awake\":" + std::to_string(scene.bodiesAwake) +
          ",\"bodies_asleep\":" + std::to_string(scene.bodiesAsleep) +
          ",\"contacts\":" + std::to_string(scene.contacts) +
          ",\"pieces_made\":" + std::to_string(scene.piecesMade);
  return json + "}";
}
