// GameObject ownership and component table: copies own their components
// (a ModelComp's mesh included), duplicates are refused and reported,
// lookups behave as callers expect.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/system.h"
#include "objects/game_object.h"
#include "objects/model_comp.h"
#include "support/log_capture.h"

namespace {

// A component that counts its live instances, so leaks and double deletes
// show up as a wrong count.
class CountedComp : public Component {
 public:
  static constexpr const char* kName = "Counted";
  explicit CountedComp(const std::string& kind = kName, int value_ = 0) : Component(kind), value(value_) { ++live; }
  CountedComp(const CountedComp& other) : Component(other), value(other.value) { ++live; }
  ~CountedComp() override { --live; }
  Component* Clone() const override { return new CountedComp(*this); }
  int value;
  static int live;
};
int CountedComp::live = 0;

// Copy construction, assignment (over components of its own) and
// self-assignment: every component cloned, nothing shared, nothing leaked;
// the copy starts young and alive whatever the source was.
TEST(GameObject, CopiesAndAssignmentsOwnTheirComponents) {
  for (const bool assign : {false, true}) {
    SCOPED_TRACE(assign ? "assignment" : "copy");
    auto source = std::make_unique<GameObject>();
    source->name = "three";
    source->position = Vector(1.0f, 2.0f, 3.0f, 1.0f);
    source->AttachComponent(CountedComp("Counted", 2));
    ModelComp model;
    model.scale = 2.5f;
    model.mesh.AddVertex(Vertex(1.0f, 0.0f, 0.0f));
    source->AttachComponent(model);
    source->age = 42;
    source->dead = true;
    auto copy = std::make_unique<GameObject>();
    copy->AttachComponent(CountedComp("Extra", 5));  // freed by an assignment
    if (assign) *copy = *source;
    else copy = std::make_unique<GameObject>(*source);
    EXPECT_TRUE(copy->name == "three" && copy->position == source->position && copy->age == 0 && !copy->dead);
    ASSERT_EQ(copy->componentList.size(), 2u);
    EXPECT_NE(copy->componentList.at(CountedComp::kName), source->componentList.at(CountedComp::kName));
    EXPECT_EQ(CountedComp::live, 2);
    source->Find<ModelComp>()->mesh.vertices[0].x = 5.0f;
    source.reset();
    EXPECT_EQ(CountedComp::live, 1);
    EXPECT_EQ(copy->Find<CountedComp>()->value, 2);
    const ModelComp* cloned = copy->Find<ModelComp>();
    ASSERT_NE(cloned, nullptr);
    EXPECT_TRUE(cloned->scale == 2.5f && cloned->mesh.VertexCount() == 1u && cloned->mesh.vertices[0].x == 1.0f);
    Component* kept = copy->componentList.at(CountedComp::kName);
    GameObject& alias = *copy;
    *copy = alias;
    EXPECT_TRUE(copy->componentList.at(CountedComp::kName) == kept && CountedComp::live == 1);
  }
  EXPECT_EQ(CountedComp::live, 0);
}

// A duplicate attach is reported and changes nothing; the caller's
// component stays the caller's. A null entry under a name blocks an attach
// and a copy must skip it; Find never inserts and checks the type.
TEST(GameObject, DuplicatesAreRefusedAndLookupsOfMissingNamesAndWrongTypes) {
  {
    support::LogCapture log;
    GameObject obj;
    obj.name = "dup";
    CountedComp first(CountedComp::kName, 1);
    obj.AttachComponent(first);
    first.value = 3;
    Component* stored = obj.componentList.at(CountedComp::kName);
    obj.AttachComponent(CountedComp(CountedComp::kName, 2));
    EXPECT_TRUE(obj.componentList.size() == 1u && obj.componentList.at(CountedComp::kName) == stored);
    EXPECT_TRUE(obj.Find<CountedComp>()->value == 1 && CountedComp::live == 2);  // no refused clone left
    EXPECT_FALSE(System::Instance().running);
    EXPECT_TRUE(log.Logged("ERROR: objects/game_object.cpp:") && log.Logged("this->name = dup\n")) << log.NewLog();
  }
  EXPECT_EQ(CountedComp::live, 0);
  support::LogCapture log;
  GameObject impostor;  // a component stored under "ModelComp" that is not one
  impostor.AttachComponent(CountedComp(ModelComp::kName));
  EXPECT_EQ(impostor.Find<ModelComp>(), nullptr);
  GameObject obj;
  obj.AttachComponent(ModelComp());
  EXPECT_TRUE(obj.Find<CountedComp>() == nullptr && !obj.Has<CountedComp>() && obj.componentList.size() == 1u);
  EXPECT_NE(static_cast<const GameObject&>(obj).Find<ModelComp>(), nullptr);
  obj.componentList.emplace(CountedComp::kName, nullptr);  // a null entry blocks the name
  EXPECT_FALSE(obj.Has<CountedComp>());
  const GameObject copy(obj);
  EXPECT_TRUE(copy.Has<ModelComp>() && copy.componentList.count(CountedComp::kName) == 0);
  obj.AttachComponent(CountedComp());
  EXPECT_TRUE(log.ErrorLogged() && obj.componentList.at(CountedComp::kName) == nullptr);
}

}  // namespace
