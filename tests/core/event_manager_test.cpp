// The EventManager: routing order across threads, the "BROADCAST" queue,
// the registration reports, and delayed and persistent events. (Every
// module's event handling runs through these; the module tests send their
// own events.) Each test uses client names of its own: the EventManager is
// shared.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/event_manager.h"
#include "core/system.h"
#include "support/log_capture.h"

namespace {

std::string Unique(const std::string& base) {
  static std::atomic<int> counter{0};
  return base + "_" + std::to_string(++counter);
}

// Three threads post to two targets while a bystander client keeps fetching,
// which routes their events. Each target must see every event, and each
// posting thread's events in the order that thread posted them.
TEST(EventManager, RoutingKeepsPerTargetOrderAcrossThreePostingThreads) {
  EventManager& events = EventManager::Instance();
  support::LogCapture log;
  const std::string targets[2] = {Unique("RouteA"), Unique("RouteB")}, bystander = Unique("RouteBystander");
  for (const auto& t : {targets[0], targets[1], bystander}) events.RegisterClient(t);
  constexpr uint32_t kPerThread = 4000;
  std::atomic<int> finished{0}, bystanderReceived{0};
  std::vector<std::thread> posters;
  for (uint32_t thread = 0; thread < 3; ++thread)
    posters.emplace_back([&, thread] {
      for (uint32_t seq = 0; seq < kPerThread; ++seq) {
        Event e("Poster", targets[(seq + thread) % 2], "Seq");
        e.SetParam<uint32_t>("thread", thread);
        e.SetParam<uint32_t>("seq", seq);
        events.PostEvent(e);
        if (seq % 64 == 0) bystanderReceived += static_cast<int>(events.GetEvents(bystander).size());
      }
      ++finished;
    });
  // next[target][thread]: the sequence number expected next; thread k sends
  // its even numbers to target k % 2 and its odd ones to the other.
  uint32_t next[2][3] = {{0, 1, 0}, {1, 0, 1}}, received[2] = {0, 0};
  auto drain = [&] {
    for (int t = 0; t < 2; ++t)
      for (Event& e : events.GetEvents(targets[t])) {
        const uint32_t thread = e.GetParam<uint32_t>("thread");
        ASSERT_LT(thread, 3u);
        ASSERT_EQ(next[t][thread], e.GetParam<uint32_t>("seq")) << "target " << t << ", thread " << thread;
        next[t][thread] += 2;
        ++received[t];
      }
  };
  while (finished < 3 && !::testing::Test::HasFatalFailure()) drain();
  for (auto& p : posters) p.join();
  drain();
  EXPECT_EQ(3 * kPerThread / 2, received[0]);
  EXPECT_EQ(3 * kPerThread / 2, received[1]);
  EXPECT_EQ(0, bystanderReceived.load()) << "no event was addressed to the bystander";
  for (const auto& t : {targets[0], targets[1], bystander}) events.UnregisterClient(t);
  EXPECT_FALSE(log.ErrorLogged()) << log.NewLog();
  // Update empties the "BROADCAST" queue, so it stays bounded.
  for (int i = 0; i < 5; ++i) events.PostEvent(Event("Test", "BROADCAST", "KillGameObject"));
  events.GetEvents(bystander);  // routes them into the "BROADCAST" queue
  EXPECT_GE(events.QueuedCount("BROADCAST"), 5u);
  events.Update();
  EXPECT_EQ(0u, events.QueuedCount("BROADCAST"));
}

// An event for a client not (yet) registered waits in its own queue; a
// second registration is reported and starts an empty queue; unregistering
// a client that is not there is reported. A delayed event waits in the
// manager until an Update at or after its delivery time; a persistent one is
// handed over at every fetch until it expires, and an expired one is dropped
// at the next Update.
TEST(EventManager, RegistrationErrorsAreReportedUnknownTargetsWaitAndTimedEventsKeepTheirTimes) {
  EventManager& events = EventManager::Instance();
  const std::string name = Unique("Twice"), ghost = Unique("Ghost"), timed = Unique("Timed");
  events.RegisterClient(name);
  events.PostEvent(Event("Test", ghost, "Lost"));
  events.PostEvent(Event("Test", name, "Waiting"));
  EXPECT_TRUE(events.GetEvents(Unique("Router")).empty());  // routes both without fetching them
  EXPECT_TRUE(events.QueuedCount(ghost) == 1u && events.QueuedCount(name) == 1u);
  support::LogCapture log;
  events.RegisterClient(name);
  EXPECT_TRUE(log.Count("ERROR: core/event_manager.cpp:") == 1u && events.QueuedCount(name) == 0u) << log.NewLog();
  events.UnregisterClient(name);
  events.UnregisterClient(name);  // listed twice: both go quietly, a third time is a warning
  events.UnregisterClient(name);
  EXPECT_TRUE(log.Count("ERROR: core/event_manager.cpp:") == 1u && log.Count("WARNING: core/event_manager.cpp:") == 1u &&
              !System::Instance().running) << log.NewLog();

  Event later("Test", timed, "Later"), due("Test", timed, "Due"), kept("Test", timed, "Kept"), gone("Test", timed, "Gone");
  later.delayed = due.delayed = kept.persistent = gone.persistent = true;
  later.deliveryTime = kept.expiryTime = System::Instance().GetTime() + 1000.0;  // the others' times, 0, are past
  for (const Event& e : {later, due, kept, gone}) events.PostEvent(e);
  std::string fetched;  // the types each of three fetches hands over; an Update before the second
  for (int fetch = 0; fetch < 3; ++fetch, fetched += "| ") {
    if (fetch == 1) events.Update();
    for (const Event& e : events.GetEvents(timed)) fetched += e.type + " ";
  }
  EXPECT_EQ("Kept | Kept Due | Kept | ", fetched);
  EXPECT_EQ(2u, events.PendingCount());  // "Later" and "Kept"; "Gone" was dropped
}

}  // namespace
