// The flat warm-start table against a plain map model of the same rules:
// store (insert or overwrite, age 0), age all by one per solve, erase above
// age 10.

#include <map>
#include <random>
#include <tuple>

#include <gtest/gtest.h>

#include "physics/warm_start_cache.h"

TEST(WarmStartCache, BehavesLikeAnAgeingMapThroughGrowthAndDeletion) {
  const auto less = [](const WarmStartKey& a, const WarmStartKey& b) {
    return std::tie(a.indexHigh, a.featureHigh, a.indexLow, a.featureLow) <
           std::tie(b.indexHigh, b.featureHigh, b.indexLow, b.featureLow);
  };
  std::map<WarmStartKey, WarmStartEntry, decltype(less)> model(less);
  WarmStartCache cache;
  std::mt19937 random(7);
  // Few distinct indices and features so keys recur, collide and come back
  // after erasure; enough per solve that the table grows several times.
  std::uniform_int_distribution<uint32_t> small(0, 40);
  for (int solve = 0; solve < 200; ++solve) {
    for (int n = 0; n < (solve < 100 ? 400 : 50); ++n) {
      const WarmStartKey key{small(random), small(random), small(random), small(random) % 3};
      cache.Store(key, static_cast<float>(n));
      model[key] = WarmStartEntry{0, static_cast<float>(n)};
    }
    cache.EraseOld();
    for (auto it = model.begin(); it != model.end();)
      it = it->second.age > WarmStartCache::kEraseAge ? model.erase(it) : std::next(it);
    ASSERT_EQ(cache.Size(), model.size()) << solve;
    for (const auto& entry : model) {
      WarmStartEntry found;
      ASSERT_TRUE(cache.Find(entry.first, found));
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
