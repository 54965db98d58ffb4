// ObjectManager: numbering, naming, killing and sweeping, lookups, and the
// lock shared with the worker threads. Private managers keep the numbers
// independent of what other tests did.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/event_manager.h"
#include "core/system.h"
#include "objects/object_manager.h"
#include "support/log_capture.h"

namespace {

class TagComp : public Component {
 public:
  static constexpr const char* kName = "TagComp";
  TagComp() : Component(kName) {}
  Component* Clone() const override { return new TagComp(*this); }
  uint32_t tag = 0;
};

GameObject Named(const std::string& name, uint32_t tag = 0) {
  GameObject obj;
  obj.name = name;
  TagComp comp;
  comp.tag = tag;
  obj.AttachComponent(comp);
  return obj;
}

// Every "KillGameObject" event now waiting for "BROADCAST" (drains the queue).
std::vector<Event> FetchKillEvents() {
  std::vector<Event> kills;
  for (Event& event : EventManager::Instance().GetEvents("BROADCAST"))
    if (event.type == "KillGameObject") kills.push_back(event);
  return kills;
}

// Numbers count from 1 and are never reused, the stored copy is the
// manager's own, a kill sends one event however often it is repeated, the
// sweep removes only the dead, and a swept name can be added again under a
// new number (as the scene's Reset does).
TEST(ObjectManager, NumbersKillsSweepsAndNamesAddedAgain) {
  support::LogCapture log;
  ObjectManager manager;
  FetchKillEvents();  // whatever earlier tests left
  GameObject first = Named("a", 9);
  first.objNum = 1234;  // whatever the caller left there is replaced
  EXPECT_EQ(manager.AddGameObject(first), 1u);
  EXPECT_EQ(manager.AddGameObject(Named("b")), 2u);
  EXPECT_EQ(manager.AddGameObject(Named("c")), 3u);
  GameObject& stored = manager.GetGameObject(1);
  EXPECT_TRUE(stored.objNum == 1u && &manager.GetGameObject("a") == &stored);
  first.Find<TagComp>()->tag = 10;
  EXPECT_EQ(stored.Find<TagComp>()->tag, 9u);

  GameObject& b = manager.GetGameObject("b");
  manager.KillGameObject(b);
  EXPECT_TRUE(b.dead);
  EXPECT_TRUE(manager.HasObject(2));  // stays until the sweep
  manager.KillGameObject(b);
  std::vector<Event> kills = FetchKillEvents();
  ASSERT_EQ(kills.size(), 1u);
  EXPECT_TRUE(kills[0].GetParam<std::string>("name") == "b" && kills[0].GetParam<uint32_t>("objNum") == 2u);
  manager.RemoveDeadObjects();
  EXPECT_TRUE(FetchKillEvents().empty());  // the sweep sends nothing more
  EXPECT_TRUE(!manager.HasObject(2) && manager.HasObject(1) && manager.HasObject(3));
  EXPECT_THROW(manager.GetObjNum("b"), std::out_of_range);
  EXPECT_EQ(manager.AddGameObject(Named("b")), 4u);
  FetchKillEvents();
  EXPECT_FALSE(log.ErrorLogged()) << log.NewLog();
}

// A duplicate name is refused and reported, using up no number; the lock is
// released on that path (another add goes through); an empty name is
// reported but still added; unknown numbers and names throw.
TEST(ObjectManager, DuplicateNamesAreRefusedEmptyNamesReportedUnknownOnesThrow) {
  support::LogCapture log;
  ObjectManager manager;
  const uint32_t number = manager.AddGameObject(Named("twin"));
  GameObject second = Named("twin");
  second.position = Vector(1.0f, 0.0f, 0.0f);
  EXPECT_EQ(manager.AddGameObject(second), 0u);
  EXPECT_TRUE(manager.objects.size() == 1u && manager.objCounter == number && manager.GetGameObject("twin").position == Vector());
  EXPECT_TRUE(log.Count("ERROR: objects/object_manager.cpp:") == 1u && !System::Instance().running) << log.NewLog();
  EXPECT_EQ(manager.AddGameObject(GameObject()), number + 1);
  EXPECT_TRUE(log.Count("ERROR") == 2u && manager.GetObjNum("") == number + 1);
  EXPECT_THROW(manager.GetGameObject(uint32_t{77}), std::out_of_range);
  EXPECT_THROW(manager.GetGameObject("never_added"), std::out_of_range);
}

// A worker walks the table under the lock while the main thread adds, kills
// and sweeps. Every object the worker sees must be whole: stored under its
// own number, with its component present.
TEST(ObjectManager, WalkersUnderTheLockSeeConsistentObjects) {
  ObjectManager manager;
  std::atomic<bool> done{false};
  std::atomic<int> inconsistent{0};
  std::atomic<long> walks{0};
  std::thread walker([&] {
    for (; !done.load(); ++walks) {
      ObjectLock guard(manager);  // this manager's own lock, not the shared one's
      for (const auto& entry : manager.objects) {
        const TagComp* tag = entry.second.Find<TagComp>();
        inconsistent += entry.second.objNum != entry.first || tag == nullptr || tag->tag != entry.first;
      }
    }
  });
  for (int round = 0; round < 300; ++round) {
    // Only this thread adds, so the next number is known.
    manager.AddGameObject(Named("walked_" + std::to_string(round), manager.objCounter + 1));
    if (round % 3 == 2) {
      ObjectLock guard(manager);
      for (auto& entry : manager.objects)
        if (entry.first % 2 == 0) manager.KillGameObject(entry.second);
      manager.RemoveDeadObjects();
    }
  }
  while (walks.load() == 0) std::this_thread::yield();
  done = true;
  walker.join();
  FetchKillEvents();
  EXPECT_TRUE(inconsistent.load() == 0 && manager.objCounter == 300u);
  for (const auto& entry : manager.objects) EXPECT_EQ(entry.first % 2, 1u);
}

}  // namespace
