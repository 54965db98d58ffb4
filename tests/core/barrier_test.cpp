// Barrier: three parties over many generations. (Release is what lets the
// engine's shutdown join its workers; engine_test.cpp ends in a fatal
// message when it does not.)

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

#include "core/barrier.h"

namespace {

TEST(Barrier, NoPartyPassesBeforeAllArriveOverManyGenerations) {
  constexpr int kParties = 3, kGenerations = 3000;
  Barrier barrier(kParties);
  std::atomic<int> arrived[kParties] = {};  // the generation each party has reached (1-based)
  std::atomic<int> completions{0}, early{0}, ahead{0};
  auto party = [&](int self) {
    for (int g = 1; g <= kGenerations; ++g) {
      arrived[self].store(g);
      if (barrier.Wait()) ++completions;
      for (const auto& other : arrived) {
        early += other.load() < g;      // passed while another had not arrived
        ahead += other.load() > g + 1;  // another got more than one generation ahead
      }
    }
  };
  std::vector<std::future<void>> parties;
  for (int p = 0; p < kParties; ++p) parties.push_back(std::async(std::launch::async, party, p));
  for (auto& p : parties) ASSERT_EQ(std::future_status::ready, p.wait_for(std::chrono::seconds(60)));
  EXPECT_EQ(0, early.load());
  EXPECT_EQ(0, ahead.load());
  EXPECT_EQ(kGenerations, completions.load()) << "exactly one party completes each generation";
  EXPECT_EQ(static_cast<unsigned>(kGenerations), barrier.Generation());
  barrier.Release();
  EXPECT_FALSE(barrier.Wait()) << "after Release nobody waits";
}

}  // namespace
