// The flat warm-start table against a plain map model of the same rules:
// insert only when absent, age all by one per solve, erase above age 10.

#include <map>
#include <random>
#include <tuple>

#include <gtest/gtest.h>

#include "physics/warm_start_cache.h"

namespace {

using ModelKey = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;

ModelKey AsTuple(const WarmStartKey& k) {
  return {k.indexHigh, k.featureHigh, k.indexLow, k.featureLow};
}

}  // namespace

TEST(WarmStartCache, BehavesLikeAnAgeingMapThroughGrowthAndDeletion) {
  std::mt19937 random(7);
  WarmStartCache cache;
  std::map<ModelKey, WarmStartEntry> model;
  // Few distinct indices and features so keys recur, collide and come back
  // after erasure; enough per solve that the table grows several times.
  std::uniform_int_distribution<uint32_t> small(0, 40);
  for (int solve = 0; solve < 200; ++solve) {
    const int inserts = solve < 100 ? 400 : 50;
    for (int n = 0; n < inserts; ++n) {
      WarmStartKey key{small(random), small(random), small(random), small(random) % 3};
      const float lambda = static_cast<float>(n);
      cache.InsertIfAbsent(key, lambda);
      model.emplace(AsTuple(key), WarmStartEntry{0, lambda});
    }
    cache.EraseOld();
    for (auto it = model.begin(); it != model.end();) {
      it = it->second.age > WarmStartCache::kEraseAge ? model.erase(it) : std::next(it);
    }
    ASSERT_EQ(cache.Size(), model.size()) << solve;
    for (const auto& entry : model) {
      WarmStartKey key{std::get<0>(entry.first), std::get<1>(entry.first),
                       std::get<2>(entry.first), std::get<3>(entry.first)};
      WarmStartEntry found;
      ASSERT_TRUE(cache.Find(key, found));
      ASSERT_EQ(found.age, entry.second.age);
      ASSERT_EQ(found.lambda, entry.second.lambda);
    }
    cache.AgeAll();
    for (auto& entry : model) ++entry.second.age;
  }
  WarmStartEntry none;
  EXPECT_FALSE(cache.Find(WarmStartKey{99, 99, 99, 99}, none));
  cache.Clear();
  EXPECT_EQ(cache.Size(), 0u);
}
