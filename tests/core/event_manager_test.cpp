// Events and the EventManager: typed parameters, routing order across
// threads, delayed and persistent events, the "BROADCAST" queue, the
// registration reports, and the module helpers built on them.
//
// EventManager and System are single instances shared by every test here:
// each test uses client names of its own and sets `running` back.

#include <atomic>
#include <deque>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/event_manager.h"
#include "core/module.h"
#include "core/system.h"

namespace {

std::string Unique(const std::string& base) {
  static std::atomic<int> counter{0};
  return base + "_" + std::to_string(++counter);
}

std::vector<std::string> Types(const std::deque<Event>& events) {
  std::vector<std::string> types;
  for (const Event& e : events) types.push_back(e.type);
  return types;
}

class EventTest : public ::testing::Test {
 protected:
  void SetUp() override { logStart = System::Instance().GetLogText().size(); }
  void TearDown() override { System::Instance().running = true; }
  std::string LogAdded() const { return System::Instance().GetLogText().substr(logStart); }
  double Now() const { return System::Instance().GetTime(); }

  // Both instances are created by the fixture, on the main thread, before
  // any test thread could race to create them.
  EventManager& events = EventManager::Instance();
  size_t logStart = 0;
};

TEST(Event, TypedParametersAreValuesAndAWrongReadThrows) {
  Event e("Physics", "Graphics", "DebugDraw");
  e.SetParam<uint32_t>("objNum", 7u);
  e.SetParam<std::string>("name", "split_obj_3");
  e.SetParam<Vector>("from", Vector(1.0f, 2.0f, 3.0f, 1.0f));
  e.SetParam<float>("volume", 0.5f);
  e.SetParam<float>("volume", 0.25f);  // a later value replaces the earlier one
  EXPECT_EQ("split_obj_3", e.GetParam<std::string>("name"));
  EXPECT_EQ(Vector(1.0f, 2.0f, 3.0f, 1.0f), e.GetParam<Vector>("from"));
  EXPECT_EQ(0.25f, e.GetParam<float>("volume"));
  Event copy = e;  // a copy's parameters are its own
  copy.SetParam<uint32_t>("objNum", 8u);

  EXPECT_THROW(e.GetParam<int>("objNum"), boost::bad_any_cast);
  EXPECT_EQ(7u, e.GetParam<uint32_t>("objNum")) << "a failed read leaves the value";
  EXPECT_THROW(e.GetParam<std::string>("missing"), boost::bad_any_cast);
  EXPECT_FALSE(e.HasParam("missing")) << "the key is inserted empty, which is not a value";
  EXPECT_TRUE(e.HasParam("objNum"));
}

// Three threads post to two targets while a bystander client keeps fetching,
// which routes their events. Each target must see every event, and each
// posting thread's events in the order that thread posted them.
TEST_F(EventTest, RoutingKeepsPerTargetOrderAcrossThreePostingThreads) {
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
        ASSERT_EQ(targets[t], e.target);
        const uint32_t thread = e.GetParam<uint32_t>("thread");
        ASSERT_LT(thread, 3u);
        ASSERT_EQ(next[t][thread], e.GetParam<uint32_t>("seq")) << "target " << t << ", thread " << thread;
        next[t][thread] += 2;
        ++received[t];
      }
  };
  while (finished < 3 && !HasFatalFailure()) drain();
  for (auto& p : posters) p.join();
  drain();

  EXPECT_EQ(3 * kPerThread / 2, received[0]);
  EXPECT_EQ(3 * kPerThread / 2, received[1]);
  EXPECT_EQ(0, bystanderReceived.load()) << "no event was addressed to the bystander";
  for (const auto& t : {targets[0], targets[1], bystander}) events.UnregisterClient(t);
  EXPECT_EQ(std::string::npos, LogAdded().find("ERROR")) << LogAdded();
}

TEST_F(EventTest, DelayedEventsWaitForUpdateAndTheirTime) {
  const std::string client = Unique("Delayed");
  events.RegisterClient(client);
  const size_t pendingBefore = events.PendingCount();
  Event due("Test", client, "Due"), later("Test", client, "Later");
  due.delayed = later.delayed = true;
  due.deliveryTime = -1.0;             // already due
  later.deliveryTime = Now() + 1.0e6;  // never due within the test
  events.PostEvent(later);
  events.PostEvent(due);
  events.PostEvent(Event("Test", client, "Plain"));

  EXPECT_EQ(std::vector<std::string>{"Plain"}, Types(events.GetEvents(client)))
      << "only Update releases delayed events, even due ones";
  events.Update();
  EXPECT_EQ(std::vector<std::string>{"Due"}, Types(events.GetEvents(client)));
  events.Update();
  EXPECT_TRUE(events.GetEvents(client).empty()) << "an event is released before it is due";
  EXPECT_EQ(pendingBefore + 1, events.PendingCount()) << "the later event still waits";
  events.UnregisterClient(client);
}

TEST_F(EventTest, PersistentEventsAreHandedOnEveryFetchUntilExpiryThenDropped) {
  const std::string client = Unique("Persistent"), other = Unique("PersistentOther");
  events.RegisterClient(client);
  events.RegisterClient(other);
  const size_t pendingBefore = events.PendingCount();
  Event sticky("Test", client, "Sticky"), stale("Test", client, "Stale");
  sticky.persistent = stale.persistent = true;
  sticky.expiryTime = Now() + 0.3;  // seconds: long enough for the fetches, short enough to wait for
  stale.expiryTime = -1.0;
  events.PostEvent(sticky);
  events.PostEvent(stale);

  for (int fetch = 0; fetch < 3; ++fetch) {
    const std::deque<Event> got = events.GetEvents(client);
    if (Now() < sticky.expiryTime) {
      EXPECT_EQ(std::vector<std::string>{"Sticky"}, Types(got));
    }
    EXPECT_TRUE(events.GetEvents(other).empty()) << "a persistent event goes to its target only";
  }
  events.Update();
  EXPECT_EQ(pendingBefore + (Now() < sticky.expiryTime ? 1 : 0), events.PendingCount())
      << "Update drops the expired event from the central queue and keeps the live one";
  while (Now() <= sticky.expiryTime) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(events.GetEvents(client).empty()) << "an expired event is not handed out";
  events.Update();
  EXPECT_EQ(pendingBefore, events.PendingCount()) << "expired events leave the central queue";

  // Update also empties the "BROADCAST" queue, so it stays bounded.
  for (int i = 0; i < 5; ++i) events.PostEvent(Event("Test", "BROADCAST", "KillGameObject"));
  events.GetEvents(client);  // routes them into the "BROADCAST" queue
  EXPECT_GE(events.QueuedCount("BROADCAST"), 5u);
  events.Update();
  EXPECT_EQ(0u, events.QueuedCount("BROADCAST"));
  events.UnregisterClient(client);
  events.UnregisterClient(other);
}

TEST_F(EventTest, RegistrationErrorsAreReportedAndUnknownTargetsWait) {
  const std::string name = Unique("Twice"), ghost = Unique("Ghost");
  events.RegisterClient(name);
  events.PostEvent(Event("Test", ghost, "Lost"));
  events.PostEvent(Event("Test", name, "Waiting"));
  EXPECT_TRUE(events.GetEvents(Unique("Router")).empty());  // routes both without fetching them
  EXPECT_EQ(1u, events.QueuedCount(ghost)) << "an unregistered target's event waits in its own queue";
  ASSERT_EQ(1u, events.QueuedCount(name));

  events.RegisterClient(name);
  EXPECT_TRUE(std::regex_search(
      LogAdded(), std::regex("ERROR: core/event_manager\\.cpp:[0-9]+ RegisterClient: duplicate client found!\n")))
      << LogAdded();
  EXPECT_FALSE(System::Instance().running);
  EXPECT_EQ(0u, events.QueuedCount(name)) << "registering again starts an empty queue";
  System::Instance().running = true;
  // Listed twice: two unregistrations pass quietly, the third is reported.
  events.UnregisterClient(name);
  events.UnregisterClient(name);
  EXPECT_TRUE(System::Instance().running);
  events.UnregisterClient(name);
  EXPECT_TRUE(std::regex_search(
      LogAdded(), std::regex("ERROR: core/event_manager\\.cpp:[0-9]+ UnregisterClient: client not found!\n")))
      << LogAdded();
  EXPECT_FALSE(System::Instance().running);
}

// A module as later issues write them: registers in Init, handles its events
// in Update, unregisters in Kill.
class ProbeModule : public virtual Module<ProbeModule> {
 public:
  ProbeModule() : Module<ProbeModule>("ProbeModule") {}
  void Init() override { EventManager::Instance().RegisterClient(name); }
  void Update() override { ProcessEvents(); }
  void Kill() override { EventManager::Instance().UnregisterClient(name); }
  void HandleEvent(Event& event) override { handled.push_back(event.type); }
  std::vector<std::string> handled;
};

TEST_F(EventTest, ModuleHelpersCreateSendAndProcessEvents) {
  ProbeModule& probe = ProbeModule::Instance();
  EXPECT_EQ(&probe, &ProbeModule::Instance()) << "one instance";
  probe.Init();
  System::Instance().frameStartTime = 12.5;
  const Event e = probe.CreateEvent("ProbeModule", "First");
  EXPECT_EQ("ProbeModule", e.sender);
  EXPECT_EQ(12.5, e.timestamp);
  probe.SendEvent(e);
  probe.SendEvent(probe.CreateEvent("ProbeModule", "Second"));
  EXPECT_TRUE(probe.handled.empty()) << "delivery is deferred";
  probe.Update();
  probe.Update();
  EXPECT_EQ((std::vector<std::string>{"First", "Second"}), probe.handled) << "each event is handled once";
  probe.Kill();
  EXPECT_EQ(std::string::npos, LogAdded().find("ERROR")) << LogAdded();
}

}  // namespace
