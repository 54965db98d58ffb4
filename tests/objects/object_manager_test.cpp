// ObjectManager: numbering, naming, killing and sweeping, lookups, and the
// lock shared with the worker threads.
//
// Most cases use a private ObjectManager so their numbers do not depend on
// what other tests did; the cases on the singleton clean up what they add.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "error_capture.h"
#include "event_manager.h"
#include "object_manager.h"

namespace {

class TagComp : public Component {
 public:
  TagComp() : Component("TagComp") {}
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

TEST(ObjectManager, TextureSlotsStartEmpty) {
  ObjectManager manager;
  EXPECT_EQ(manager.randomNormTex, nullptr);
  EXPECT_EQ(manager.questionMarkTex, nullptr);
  EXPECT_EQ(manager.currentInstructionTex, nullptr);
  for (Texture* page : manager.instructionTex) EXPECT_EQ(page, nullptr);
}

TEST(ObjectManager, NumbersCountFromOneAndAreNeverReused) {
  ObjectManager manager;
  EXPECT_EQ(manager.AddGameObject(Named("a")), 1u);
  EXPECT_EQ(manager.AddGameObject(Named("b")), 2u);
  EXPECT_EQ(manager.AddGameObject(Named("c")), 3u);
  EXPECT_EQ(manager.objCounter, 3u);
  EXPECT_EQ(manager.GetObjNum("b"), 2u);

  manager.KillGameObject(manager.GetGameObject("b"));
  manager.RemoveDeadObjects();
  EXPECT_FALSE(manager.HasObject(2));
  EXPECT_TRUE(manager.HasObject(1));
  EXPECT_TRUE(manager.HasObject(3));

  EXPECT_EQ(manager.AddGameObject(Named("d")), 4u);
  EXPECT_EQ(manager.objects.size(), 3u);
  FetchKillEvents();
}

TEST(ObjectManager, StoredCopyCarriesItsNumberAndOwnComponents) {
  ObjectManager manager;
  GameObject obj = Named("stored");
  obj.objNum = 1234;  // whatever the caller left there is replaced
  TagComp tag;
  tag.tag = 9;
  obj.AttachComponent(tag);

  const uint32_t number = manager.AddGameObject(obj);
  GameObject& stored = manager.GetGameObject(number);
  EXPECT_EQ(stored.objNum, number);
  EXPECT_EQ(&manager.GetGameObject("stored"), &stored);
  ASSERT_NE(stored.FindComponent<TagComp>("TagComp"), nullptr);
  EXPECT_NE(stored.GetComponent("TagComp"), obj.GetComponent("TagComp"));
  obj.FindComponent<TagComp>("TagComp")->tag = 10;
  EXPECT_EQ(stored.FindComponent<TagComp>("TagComp")->tag, 9u);
}

TEST(ObjectManager, KillingTwiceSendsOneEventWithNameAndNumber) {
  ObjectManager manager;
  FetchKillEvents();  // whatever earlier tests left
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
  EXPECT_FALSE(manager.HasObject(number));
  EXPECT_TRUE(FetchKillEvents().empty());  // the sweep sends nothing more
}

TEST(ObjectManager, SweepRemovesOnlyDeadObjectsAndFreesTheirNames) {
  ObjectManager manager;
  const uint32_t keep = manager.AddGameObject(Named("keep"));
  const uint32_t gone1 = manager.AddGameObject(Named("gone1"));
  const uint32_t gone2 = manager.AddGameObject(Named("gone2"));
  manager.KillGameObject(manager.GetGameObject(gone1));
  manager.KillGameObject(manager.GetGameObject(gone2));
  manager.RemoveDeadObjects();
  FetchKillEvents();

  EXPECT_EQ(manager.objects.size(), 1u);
  EXPECT_TRUE(manager.HasObject(keep));
  EXPECT_EQ(manager.GetObjNum("keep"), keep);
  EXPECT_THROW(manager.GetObjNum("gone1"), std::out_of_range);
  EXPECT_THROW(manager.GetGameObject("gone2"), std::out_of_range);
}

// The scene's Reset kills the start objects, sweeps, and adds objects of the
// same names again: each must come back under a new number.
TEST(ObjectManager, KilledNamesCanBeAddedAgainAfterTheSweep) {
  ErrorCapture capture;
  ObjectManager& manager = ObjectManager::Instance();
  const std::vector<std::string> startNames = {"obj3", "obj4", "obj7"};
  std::vector<uint32_t> first;
  for (const std::string& name : startNames) first.push_back(manager.AddGameObject(Named(name)));

  manager.Lock();
  for (auto& entry : manager.objects)
    if (entry.second.name == "obj3" || entry.second.name == "obj4" || entry.second.name == "obj7")
      manager.KillGameObject(entry.second);
  manager.RemoveDeadObjects();
  manager.Unlock();

  for (size_t i = 0; i < startNames.size(); ++i) {
    const uint32_t again = manager.AddGameObject(Named(startNames[i]));
    EXPECT_GT(again, first.back()) << startNames[i];
    EXPECT_EQ(manager.GetObjNum(startNames[i]), again);
    EXPECT_EQ(manager.GetGameObject(startNames[i]).objNum, again);
    EXPECT_FALSE(manager.HasObject(first[i]));
  }
  EXPECT_FALSE(capture.Logged("duplicate name"));
  EXPECT_TRUE(System::Instance().running);

  // Leave the singleton as it was found.
  manager.Lock();
  for (const std::string& name : startNames) manager.KillGameObject(manager.GetGameObject(name));
  manager.RemoveDeadObjects();
  manager.Unlock();
  FetchKillEvents();
}

TEST(ObjectManager, DuplicateNameIsReportedAndNothingIsStored) {
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

  // The lock was released on the failure path: another add goes through.
  EXPECT_EQ(manager.AddGameObject(Named("after_twin")), number + 1);
}

TEST(ObjectManager, EmptyNameIsReportedButStillAdded) {
  ErrorCapture capture;
  ObjectManager manager;
  EXPECT_EQ(manager.AddGameObject(GameObject()), 1u);
  EXPECT_TRUE(capture.Logged("game object with no name!"));
  EXPECT_EQ(manager.GetObjNum(""), 1u);
}

TEST(ObjectManager, UnknownNumbersAndNamesThrow) {
  ObjectManager manager;
  manager.AddGameObject(Named("known"));
  try {
    manager.GetGameObject(uint32_t{77});
    FAIL() << "no exception for an unknown number";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "Unable to find key in unordered_map.");
  }
  for (int useGetObjNum = 0; useGetObjNum < 2; ++useGetObjNum) {
    try {
      if (useGetObjNum)
        manager.GetObjNum("never_added");
      else
        manager.GetGameObject("never_added");
      FAIL() << "no exception for an unknown name";
    } catch (const std::out_of_range& e) {
      EXPECT_NE(std::string(e.what()).find("never_added"), std::string::npos) << e.what();
    }
  }
  EXPECT_FALSE(manager.HasObject(77));
}

TEST(ObjectManager, UpdateDrainsItsOwnQueue) {
  ObjectManager& manager = ObjectManager::Instance();
  EventManager& events = EventManager::Instance();
  manager.Init();
  events.PostEvent(Event("test", "ObjectManager", "Anything"));
  events.GetEvents("BROADCAST");  // routes the pending event to its target
  EXPECT_EQ(events.QueuedCount("ObjectManager"), 1u);
  manager.Update();
  EXPECT_EQ(events.QueuedCount("ObjectManager"), 0u);
  manager.Kill();
}

// A worker walks the table under the lock while the main thread adds, kills
// and sweeps. Every object the worker sees must be whole: stored under its
// own number, with its component present.
TEST(ObjectManager, WalkersUnderTheLockSeeConsistentObjects) {
  ObjectManager manager;
  constexpr int kRounds = 300;
  std::atomic<bool> done{false};
  std::atomic<int> inconsistent{0};
  std::atomic<long> walks{0};

  std::thread walker([&] {
    while (!done.load()) {
      manager.Lock();
      for (const auto& entry : manager.objects) {
        const TagComp* tag = entry.second.FindComponent<TagComp>("TagComp");
        if (entry.second.objNum != entry.first || tag == nullptr || tag->tag != entry.first)
          ++inconsistent;
      }
      manager.Unlock();
      ++walks;
    }
  });

  for (int round = 0; round < kRounds; ++round) {
    GameObject obj = Named("walked_" + std::to_string(round));
    TagComp tag;
    tag.tag = manager.objCounter + 1;  // only this thread adds, so this is its number
    obj.AttachComponent(tag);
    manager.AddGameObject(obj);
    if (round % 3 == 2) {
      manager.Lock();
      for (auto& entry : manager.objects)
        if (entry.first % 2 == 0) manager.KillGameObject(entry.second);
      manager.RemoveDeadObjects();
      manager.Unlock();
    }
  }
  while (walks.load() == 0) std::this_thread::yield();
  done = true;
  walker.join();
  FetchKillEvents();

  EXPECT_EQ(inconsistent.load(), 0);
  EXPECT_EQ(manager.objCounter, static_cast<uint32_t>(kRounds));
  for (const auto& entry : manager.objects) EXPECT_EQ(entry.first % 2, 1u);
}
