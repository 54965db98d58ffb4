// The broad phase (sweep along X, filter along Z, sphere test) stage by
// stage against brute force over random scenes, with masks and objects that
// have gone from the table.

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "collision/broad_phase.h"

namespace {

using Pair = std::pair<uint32_t, uint32_t>;

Pair Unordered(uint32_t a, uint32_t b) { return Pair(std::min(a, b), std::max(a, b)); }

// Spheres on a half-unit grid with radii from {0, 0.5, 1, 1.5, 2}, so equal
// span starts, touching spans and zero-width spans are common.
std::vector<SphereEntry> RandomScene(std::mt19937& random, size_t count, bool randomMasks) {
  std::uniform_int_distribution<int> coordinate(-16, 16), radius(0, 4);
  std::uniform_int_distribution<uint32_t> mask(0, 7);
  std::vector<SphereEntry> spheres(count);
  for (uint32_t i = 0; i < count; ++i) {
    SphereEntry& s = spheres[i];
    s.objectId = i;
    s.center = Vector(0.5f * coordinate(random), 0.5f * coordinate(random), 0.5f * coordinate(random));
    s.radius = 0.5f * radius(random);
    s.groupMask = randomMasks ? mask(random) : 1;
    s.collideMask = randomMasks ? mask(random) : 1;
  }
  return spheres;
}

// After the sweep and the filter a pair is a candidate, in one set only,
// when its spans overlap along X and along Z, a group meets the other's
// collide mask, neither object has gone and not both rest; the sphere test
// then keeps exactly the pairs closer than their radii.
TEST(BroadPhase, EveryStageAgreesWithBruteForceOnRandomScenes) {
  std::mt19937 random(20261206);
  const Vector kX(1, 0, 0), kZ(0, 0, 1);
  std::vector<CandidateSet> sets;  // reused, as the collision thread does
  for (int scene = 0; scene < 40; ++scene) {
    const std::vector<SphereEntry> spheres = RandomScene(random, 150, scene % 2 == 0);
    auto gone = [scene](uint32_t id) { return scene % 4 == 1 && id % 11 == 5; };
    auto resting = [scene](uint32_t id) { return scene % 3 == 2 && id % 3 != 0; };
    std::set<Pair> expectedCandidates, expectedPairs;
    for (uint32_t i = 0; i < spheres.size(); ++i)
      for (uint32_t j = i + 1; j < spheres.size(); ++j) {
        const SphereEntry &a = spheres[i], &b = spheres[j];
        const double reach = double(a.radius) + b.radius;
        const double dx = double(a.center.x) - b.center.x, dy = double(a.center.y) - b.center.y,
                     dz = double(a.center.z) - b.center.z;
        const bool masks = (a.groupMask & b.collideMask) != 0 || (a.collideMask & b.groupMask) != 0;
        if (!masks || gone(i) || gone(j) || (resting(i) && resting(j)) || std::abs(dx) >= reach ||
            std::abs(dz) >= reach)
          continue;
        expectedCandidates.insert(Pair(i, j));
        if (dx * dx + dy * dy + dz * dz < reach * reach) expectedPairs.insert(Pair(i, j));
      }

    std::vector<ObjectSpan> spans;
    for (const SphereEntry& s : spheres) {
      spans.push_back(SpanAlong(s, kX));
      spans.back().resting = resting(s.objectId);
    }
    std::set<Pair> candidates, pairs;
    SweepAndPrune(spans, sets);
    for (CandidateSet& set : sets) {
      FilterCandidates(set, kZ, [&](uint32_t id, SphereEntry& sphere) {
        sphere = spheres[id];
        return !gone(id);
      });
      for (uint32_t id : set.candidates) {
        ASSERT_TRUE(candidates.insert(Unordered(set.objectId, id)).second) << "pair found twice";
        if (SpheresOverlap(spheres[set.objectId], spheres[id])) pairs.insert(Unordered(set.objectId, id));
      }
    }
    // Spans that only touch may count either way (a zero-width span at the
    // start of another does); nothing farther apart may.
    for (const Pair& c : candidates) {
      const SphereEntry &a = spheres[c.first], &b = spheres[c.second];
      const double reach = double(a.radius) + b.radius;
      EXPECT_TRUE(std::abs(double(a.center.x) - b.center.x) <= reach && std::abs(double(a.center.z) - b.center.z) <= reach &&
                  !gone(c.first) && !gone(c.second) && !(resting(c.first) && resting(c.second)) &&
                  ((a.groupMask & b.collideMask) | (a.collideMask & b.groupMask)))
          << c.first << " " << c.second;
    }
    for (const Pair& c : expectedCandidates) ASSERT_TRUE(candidates.count(c)) << "scene " << scene;
    ASSERT_EQ(pairs, expectedPairs) << "scene " << scene;
    if (scene == 1) {
      ASSERT_GT(expectedPairs.size(), 50u);  // dense enough to matter
    }
  }
}

}  // namespace
