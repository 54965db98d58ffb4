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
#include "error_capture.h"
#include "objects/object_manager.h"

namespace {

class TagComp : public Component {
 public:
  static constexpr const char* kName = "TagComp";
  TagComp() : Component(kName) {}
  Component* Clone() const override { return new TagComp(*this); }
  uint32_t tag = 0;
};

GameObject Named(const std::string& name) {
  GameObject obj;
  obj.name = name;
  return obj;
}

// Every "KillGameObject" event now waiting for "BROADCAST" (drains the queue).
std::vector<Event> FetchKillEvents() {
  std::vector<Event> kills;
  for (Event& event : EventManager::Instance().GetEvents("BROADCAST"))
    if (event.type == "KillGameObject") kills.push_back(event);
  return kills;
}

}  // namespace

TEST(ObjectManager, NumbersCountFromOneAreNeverReusedAndAreWrittenIntoTheCopy) {
  ObjectManager manager;
  GameObject obj = Named("a");
  obj.objNum = 1234;  // whatever the caller left there is replaced
  TagComp tag;
  tag.tag = 9;
  obj.AttachComponent(tag);
  EXPECT_EQ(manager.AddGameObject(obj), 1u);
  EXPECT_EQ(manager.AddGameObject(Named("b")), 2u);
  EXPECT_EQ(manager.AddGameObject(Named("c")), 3u);
  GameObject& stored = manager.GetGameObject(1);
  EXPECT_EQ(stored.objNum, 1u);
  EXPECT_EQ(&manager.GetGameObject("a"), &stored);
  obj.Find<TagComp>()->tag = 10;
  EXPECT_EQ(stored.Find<TagComp>()->tag, 9u);

  manager.KillGameObject(manager.GetGameObject("b"));
  manager.RemoveDeadObjects();
  EXPECT_FALSE(manager.HasObject(2));
  EXPECT_TRUE(manager.HasObject(1) && manager.HasObject(3));
  EXPECT_EQ(manager.AddGameObject(Named("d")), 4u);  // numbers are never reused
  FetchKillEvents();
}

TEST(ObjectManager, KillingTwiceSendsOneEventAndTheSweepRemovesOnlyTheDead) {
  ObjectManager manager;
  FetchKillEvents();  // whatever earlier tests left
  const uint32_t keep = manager.AddGameObject(Named("keep"));
  const uint32_t number = manager.AddGameObject(Named("kill_twice"));
  GameObject& obj = manager.GetGameObject(number);
  manager.KillGameObject(obj);
  EXPECT_TRUE(obj.dead);
  EXPECT_TRUE(manager.HasObject(number));  // stays until the sweep
  manager.KillGameObject(obj);

  std::vector<Event> kills = FetchKillEvents();
  ASSERT_EQ(kills.size(), 1u);
  EXPECT_EQ(kills[0].sender, "ObjectManager");
  EXPECT_EQ(kills[0].target, "BROADCAST");
  EXPECT_EQ(kills[0].GetParam<std::string>("name"), "kill_twice");
  EXPECT_EQ(kills[0].GetParam<uint32_t>("objNum"), number);

  manager.RemoveDeadObjects();
  EXPECT_TRUE(FetchKillEvents().empty());  // the sweep sends nothing more
  EXPECT_EQ(manager.objects.size(), 1u);
  EXPECT_EQ(manager.GetObjNum("keep"), keep);
  EXPECT_THROW(manager.GetObjNum("kill_twice"), std::out_of_range);
}

// The scene's Reset kills the start objects, sweeps, and adds objects of the
// same names again: each must come back under a new number.
TEST(ObjectManager, KilledNamesCanBeAddedAgainAfterTheSweep) {
  ErrorCapture capture;
  ObjectManager manager;
  const std::vector<std::string> names = {"obj3", "obj4", "obj7"};
  for (const std::string& name : names) manager.AddGameObject(Named(name));
  {
    ObjectLock lock(manager);
    for (auto& entry : manager.objects) manager.KillGameObject(entry.second);
    manager.RemoveDeadObjects();
  }
  for (size_t i = 0; i < names.size(); ++i) {
    const uint32_t again = manager.AddGameObject(Named(names[i]));
    EXPECT_EQ(again, 4 + i) << names[i];
    EXPECT_EQ(manager.GetObjNum(names[i]), again);
    EXPECT_EQ(manager.GetGameObject(names[i]).objNum, again);
  }
  EXPECT_FALSE(capture.Logged("duplicate name"));
  EXPECT_TRUE(System::Instance().running);
  FetchKillEvents();
}

TEST(ObjectManager, DuplicateNameIsRefusedAndEmptyNameReported) {
  ErrorCapture capture;
  ObjectManager manager;
  const uint32_t number = manager.AddGameObject(Named("twin"));
  GameObject second = Named("twin");
  second.position = Vector(1.0f, 0.0f, 0.0f);
  EXPECT_EQ(manager.AddGameObject(second), 0u);
  EXPECT_EQ(manager.objects.size(), 1u);
  EXPECT_EQ(manager.objCounter, number);  // no number was used up
  EXPECT_EQ(manager.GetGameObject("twin").position, Vector());
  EXPECT_FALSE(System::Instance().running);
  EXPECT_TRUE(capture.Logged("object_manager.cpp:"));
  EXPECT_TRUE(capture.Logged(" game object with duplicate name!\nobj.name = twin\n"));

  // The lock was released on the failure path: another add goes through. An
  // empty name is reported but the object is still added.
  EXPECT_EQ(manager.AddGameObject(GameObject()), number + 1);
  EXPECT_TRUE(capture.Logged("game object with no name!"));
  EXPECT_EQ(manager.GetObjNum(""), number + 1);
}

TEST(ObjectManager, UnknownNumbersAndNamesThrowNamingTheMissingObject) {
  ObjectManager manager;
  manager.AddGameObject(Named("known"));
  EXPECT_FALSE(manager.HasObject(77));
  EXPECT_THROW(manager.GetGameObject(uint32_t{77}), std::out_of_range);
  const auto message = [](const auto& lookup) {
    try {
      lookup();
    } catch (const std::out_of_range& e) {
      return std::string(e.what());
    }
    return std::string("no exception");
  };
  EXPECT_NE(message([&] { manager.GetObjNum("never_added"); }).find("never_added"),
            std::string::npos);
  EXPECT_NE(message([&] { manager.GetGameObject("never_added"); }).find("never_added"),
            std::string::npos);
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
    while (!done.load()) {
      {
        ObjectLock lock(manager);
        for (const auto& entry : manager.objects) {
          const TagComp* tag = entry.second.Find<TagComp>();
          if (entry.second.objNum != entry.first || tag == nullptr || tag->tag != entry.first)
            ++inconsistent;
        }
      }
      ++walks;
    }
  });
  for (int round = 0; round < 300; ++round) {
    GameObject obj = Named("walked_" + std::to_string(round));
    TagComp tag;
    tag.tag = manager.objCounter + 1;  // only this thread adds, so this is its number
    obj.AttachComponent(tag);
    manager.AddGameObject(obj);
    if (round % 3 == 2) {
      ObjectLock lock(manager);
      for (auto& entry : manager.objects)
        if (entry.first % 2 == 0) manager.KillGameObject(entry.second);
      manager.RemoveDeadObjects();
    }
  }
  while (walks.load() == 0) std::this_thread::yield();
  done = true;
  walker.join();
  FetchKillEvents();
  EXPECT_EQ(inconsistent.load(), 0);
  EXPECT_EQ(manager.objCounter, 300u);
  for (const auto& entry : manager.objects) EXPECT_EQ(entry.first % 2, 1u);
}
