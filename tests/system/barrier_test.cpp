// Barrier: three parties over many generations, and Release freeing waiters.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "barrier.h"

namespace {

// A waiter that never returns cannot be joined: end the run with a message
// rather than hang it.
template <class T>
void AwaitOrDie(std::future<T>& future, const char* what) {
  if (future.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return;
  std::fprintf(stderr, "FATAL: %s is still blocked after 10 s\n", what);
  std::_Exit(1);
}

TEST(Barrier, NoPartyPassesBeforeAllArriveOverManyGenerations) {
  constexpr int kParties = 3;
  constexpr int kGenerations = 3000;
  Barrier barrier(kParties);
  // arrived[p] = the generation party p has reached (1-based).
  std::atomic<int> arrived[kParties] = {};
  std::atomic<int> completions{0};
  std::atomic<int> early{0};  // passed while another party had not arrived
  std::atomic<int> ahead{0};  // another party got more than one generation ahead

  auto party = [&](int self) {
    for (int g = 1; g <= kGenerations; ++g) {
      arrived[self].store(g);
      if (barrier.Wait()) ++completions;
      for (int other = 0; other < kParties; ++other) {
        const int reached = arrived[other].load();
        if (reached < g) ++early;
        if (reached > g + 1) ++ahead;
      }
    }
  };
  std::vector<std::future<void>> parties;
  for (int p = 0; p < kParties; ++p) parties.push_back(std::async(std::launch::async, party, p));
  for (auto& p : parties) AwaitOrDie(p, "a party of the barrier");

  EXPECT_EQ(0, early.load());
  EXPECT_EQ(0, ahead.load());
  EXPECT_EQ(kGenerations, completions.load()) << "exactly one party completes each generation";
  EXPECT_EQ(static_cast<unsigned>(kGenerations), barrier.Generation());
  EXPECT_FALSE(barrier.Released());
}

TEST(Barrier, ReleaseFreesBlockedWaitersAndLaterWaits) {
  Barrier barrier(3);
  std::atomic<int> returned{0};
  auto wait = [&] {
    const bool completed = barrier.Wait();
    ++returned;
    return completed;
  };
  std::future<bool> first = std::async(std::launch::async, wait);
  std::future<bool> second = std::async(std::launch::async, wait);

  // Two of three parties: neither may pass.
  EXPECT_EQ(std::future_status::timeout, first.wait_for(std::chrono::milliseconds(50)));
  EXPECT_EQ(0, returned.load());

  barrier.Release();
  AwaitOrDie(first, "a released waiter");
  AwaitOrDie(second, "a released waiter");
  EXPECT_FALSE(first.get());
  EXPECT_FALSE(second.get());
  EXPECT_TRUE(barrier.Released());

  // After Release nobody waits, alone or not.
  EXPECT_FALSE(barrier.Wait());
  EXPECT_FALSE(barrier.Wait());
  EXPECT_EQ(0u, barrier.Generation());
}

}  // namespace
