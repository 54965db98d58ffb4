// The --stats figures: nearest-rank percentiles, means of each timed step,
// the JSON line's values with the scene's counts, and a reset that discards
// what came before.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/frame_stats.h"

namespace {

// The number after "key": in a flat JSON line, or NaN when the key is absent.
double Field(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\":");
  return at == std::string::npos ? std::nan("") : std::atof(json.c_str() + at + key.size() + 3);
}

TEST(FrameStats, PercentilesMeansAndTheJsonLine) {
  FrameStats stats;
  stats.AddFrame(0.5);  // not enabled: not recorded
  stats.enabled = true;
  // Frames of 1 .. 100 ms, shuffled: the nearest-rank p-th percentile of
  // 1..n ms is ceil(p n / 100) ms.
  for (int i = 0; i < 100; ++i) stats.AddFrame(((i * 37) % 100 + 1) / 1000.0);
  stats.AddStep(FrameStep::kPhysics, 0.002);
  stats.AddStep(FrameStep::kPhysics, 0.004);
  EXPECT_NEAR(stats.FramePercentile(100.0), 0.100, 1e-6);
  EXPECT_NEAR(stats.FramePercentile(0.5), 0.001, 1e-6);

  const std::string json = stats.Json();
  EXPECT_EQ('{', json.front());
  EXPECT_EQ('}', json.back());
  EXPECT_EQ(std::string::npos, json.find('\n'));
  EXPECT_EQ(100.0, Field(json, "frames"));
  EXPECT_NEAR(50.5, Field(json, "mean_ms"), 1e-3);
  EXPECT_NEAR(50.0, Field(json, "median_ms"), 1e-3);
  EXPECT_NEAR(95.0, Field(json, "p95_ms"), 1e-3);
  EXPECT_NEAR(100.0, Field(json, "worst_ms"), 1e-3);
  EXPECT_NEAR(3.0, Field(json, "physics_ms"), 1e-3);
  EXPECT_EQ(0.0, Field(json, "collision_ms"));
  for (const char* key : {"geometry_pass_ms", "occlusion_pass_ms", "final_pass_ms", "load"})
    EXPECT_FALSE(std::isnan(Field(json, key))) << key;

  // A reset takes effect at the next frame recorded.
  stats.RequestReset();
  stats.AddFrame(0.010);
  EXPECT_EQ(1.0, Field(stats.Json(), "frames"));
  EXPECT_DOUBLE_EQ(stats.StepMean(FrameStep::kPhysics), 0.0);

  // The scene's counts: the latest ones, and the pieces added up.
  stats.SetScene(4, 9, 3);
  stats.SetScene(3, 7, 12);
  stats.AddPieces(2);
  stats.AddPieces(3);
  const std::string counts = stats.Json();
  EXPECT_EQ(3.0, Field(counts, "bodies_awake"));
  EXPECT_EQ(7.0, Field(counts, "bodies_asleep"));
  EXPECT_EQ(12.0, Field(counts, "contacts"));
  EXPECT_EQ(5.0, Field(counts, "pieces_made"));
}

}  // namespace
