// Barrier: three parties over many generations, and Release freeing waiters.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <vector>

#include <gtest/gtest.h>

#include "core/barrier.h"

namespace {

// A waiter that never returns cannot be joined: end the run rather than hang it.
template <class T>
void AwaitOrDie(std::future<T>& future) {
  if (future.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return;
  std::fprintf(stderr, "FATAL: a barrier party is still blocked after 10 s\n");
  std::_Exit(1);
}

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
        if (other.load() < g) ++early;      // passed while another had not arrived
        if (other.load() > g + 1) ++ahead;  // another got more than one generation ahead
      }
    }
  };
  std::vector<std::future<void>> parties;
  for (int p = 0; p < kParties; ++p) parties.push_back(std::async(std::launch::async, party, p));
  for (auto& p : parties) AwaitOrDie(p);

  EXPECT_EQ(0, early.load());
  EXPECT_EQ(0, ahead.load());
  EXPECT_EQ(kGenerations, completions.load()) << "exactly one party completes each generation";
  EXPECT_EQ(static_cast<unsigned>(kGenerations), barrier.Generation());
}

TEST(Barrier, ReleaseFreesBlockedWaitersAndLaterWaits) {
  Barrier barrier(3);
  std::future<bool> first = std::async(std::launch::async, [&] { return barrier.Wait(); });
  std::future<bool> second = std::async(std::launch::async, [&] { return barrier.Wait(); });
  // Two of three parties: neither may pass.
  EXPECT_EQ(std::future_status::timeout, first.wait_for(std::chrono::milliseconds(50)));
  EXPECT_EQ(std::future_status::timeout, second.wait_for(std::chrono::milliseconds(0)));

  barrier.Release();
  AwaitOrDie(first);
  AwaitOrDie(second);
  EXPECT_FALSE(first.get());
  EXPECT_FALSE(second.get());
  EXPECT_TRUE(barrier.Released());
  // After Release nobody waits, alone or not.
  EXPECT_FALSE(barrier.Wait());
  EXPECT_EQ(0u, barrier.Generation());
}

}  // namespace
