// The broad phase (sweep along X, filter along Z, sphere test) against brute
// force, and the mask filter.

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "collision/broad_phase.h"
#include "collision_test_util.h"

namespace {

using Pair = std::pair<uint32_t, uint32_t>;

Pair Unordered(uint32_t a, uint32_t b) { return Pair(std::min(a, b), std::max(a, b)); }

const Vector kX(1, 0, 0, 0);
const Vector kZ(0, 0, 1, 0);

// The whole broad phase over plain spheres, as CollisionManager runs it.
std::set<Pair> BroadPhasePairs(const std::vector<SphereEntry>& spheres) {
  std::vector<ObjectSpan> spans;
  for (const SphereEntry& s : spheres) spans.push_back(SpanAlong(s, kX));
  std::vector<CandidateSet> sets = SweepAndPrune(spans);
  const auto lookup = [&spheres](uint32_t id, SphereEntry& sphere) {
    sphere = spheres[id];
    return true;
  };
  std::set<Pair> pairs;
  for (CandidateSet& set : sets) {
    FilterCandidates(set, kZ, lookup);
    for (uint32_t id : set.candidates) {
      // Each pair is found once, from the set of the span that starts first.
      EXPECT_EQ(pairs.count(Unordered(set.objectId, id)), 0u);
      if (SpheresOverlap(spheres[set.objectId], spheres[id])) pairs.insert(Unordered(set.objectId, id));
    }
  }
  return pairs;
}

std::set<Pair> BruteForcePairs(const std::vector<SphereEntry>& spheres) {
  std::set<Pair> pairs;
  for (uint32_t i = 0; i < spheres.size(); ++i) {
    for (uint32_t j = i + 1; j < spheres.size(); ++j) {
      const SphereEntry& a = spheres[i];
      const SphereEntry& b = spheres[j];
      const bool masks = (a.groupMask & b.collideMask) != 0 || (a.collideMask & b.groupMask) != 0;
      const Vector d = a.center - b.center;
      const bool touching = std::sqrt(Dot3(d, d)) < a.radius + b.radius;
      if (masks && touching) pairs.insert(Pair(i, j));
    }
  }
  return pairs;
}

// Spheres on a half-unit grid with radii from {0, 0.5, 1, 1.5, 2}, so equal
// span starts, touching spans and zero-width spans are common.
std::vector<SphereEntry> RandomScene(std::mt19937& random, size_t count, bool randomMasks) {
  std::uniform_int_distribution<int> coordinate(-16, 16);
  std::uniform_int_distribution<int> radius(0, 4);
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

TEST(BroadPhase, AgreesWithBruteForceOnRandomScenes) {
  std::mt19937 random(20261206);
  for (int scene = 0; scene < 40; ++scene) {
    const std::vector<SphereEntry> spheres = RandomScene(random, 150, scene % 2 == 0);
    const std::set<Pair> expected = BruteForcePairs(spheres);
    ASSERT_EQ(BroadPhasePairs(spheres), expected) << "scene " << scene;
    if (scene == 1) { ASSERT_GT(expected.size(), 50u); }  // dense enough to matter
  }
}

SphereEntry Unit(uint32_t id, const Vector& center, uint32_t mask) {
  SphereEntry s;
  s.objectId = id;
  s.center = center;
  s.radius = 1.0f;
  s.groupMask = s.collideMask = mask;
  return s;
}

TEST(BroadPhase, MasksWithoutSharedBitNeverPairAndXOverlapNeedsZOverlap) {
  // Group/collide 1 against 2 or 6: no bit in common either way, so the
  // sweep itself must drop them; one shared bit in one direction is enough.
  for (uint32_t other : {2u, 6u}) {
    std::vector<SphereEntry> spheres = {Unit(0, Vector(), 1), Unit(1, Vector(0.5f, 0, 0), other)};
    std::vector<ObjectSpan> spans = {SpanAlong(spheres[0], kX), SpanAlong(spheres[1], kX)};
    for (const CandidateSet& set : SweepAndPrune(spans)) EXPECT_TRUE(set.candidates.empty());
    spheres[1].collideMask |= 1;
    EXPECT_EQ(BroadPhasePairs(spheres).size(), 1u);
  }
  // Overlapping along X but 3 apart along Z: the sweep pairs them, the Z
  // filter drops them.
  const std::vector<SphereEntry> spheres = {Unit(0, Vector(), 1), Unit(1, Vector(0.5f, 0, 3.0f), 1)};
  std::vector<ObjectSpan> spans = {SpanAlong(spheres[0], kX), SpanAlong(spheres[1], kX)};
  std::vector<CandidateSet> sets = SweepAndPrune(spans);
  ASSERT_EQ(sets.size(), 2u);
  ASSERT_EQ(sets[0].candidates.size(), 1u);
  FilterCandidates(sets[0], kZ, [&spheres](uint32_t id, SphereEntry& s) {
    s = spheres[id];
    return true;
  });
  EXPECT_TRUE(sets[0].candidates.empty());
}

TEST(BroadPhase, GoneCandidatesAndGoneObjectsAreFiltered) {
  const std::vector<SphereEntry> spheres = {Unit(0, Vector(), 1), Unit(1, Vector(), 1), Unit(2, Vector(), 1)};
  CandidateSet set;
  set.objectId = 0;
  set.candidates = {1, 2};
  // Object 2 has gone from the table since the sweep.
  FilterCandidates(set, kZ, [&spheres](uint32_t id, SphereEntry& s) {
    s = spheres[id];
    return id != 2;
  });
  EXPECT_EQ(set.candidates, std::vector<uint32_t>{1});
  // The set's own object has gone: nothing is left to test.
  FilterCandidates(set, kZ, [](uint32_t, SphereEntry&) { return false; });
  EXPECT_TRUE(set.candidates.empty());
}

}  // namespace
