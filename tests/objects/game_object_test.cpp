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
  explicit CountedComp(const std::string& kind, int value_ = 0) : Component(kind), value(value_) { ++live; }
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
    EXPECT_NE(copy->GetComponent("Counted"), source->GetComponent("Counted"));
    EXPECT_EQ(CountedComp::live, 2);
    source->FindComponent<ModelComp>("ModelComp")->mesh.vertices[0].x = 5.0f;
    source.reset();
    EXPECT_EQ(CountedComp::live, 1);
    EXPECT_EQ(copy->FindComponent<CountedComp>("Counted")->value, 2);
    const ModelComp* cloned = copy->FindComponent<ModelComp>("ModelComp");
    ASSERT_NE(cloned, nullptr);
    EXPECT_TRUE(cloned->scale == 2.5f && cloned->mesh.VertexCount() == 1u && cloned->mesh.vertices[0].x == 1.0f);
    Component* kept = copy->GetComponent("Counted");
    GameObject& alias = *copy;
    *copy = alias;
    EXPECT_TRUE(copy->GetComponent("Counted") == kept && CountedComp::live == 1);
  }
  EXPECT_EQ(CountedComp::live, 0);
}

// A duplicate attach is reported and changes nothing; the caller's
// component stays the caller's. GetComponent of a missing name leaves a
// null entry behind (which then blocks an attach, and which a copy must
// skip); FindComponent never inserts and checks the type.
TEST(GameObject, DuplicatesAreRefusedAndLookupsOfMissingNamesAndWrongTypes) {
  {
    support::LogCapture log;
    GameObject obj;
    obj.name = "dup";
    CountedComp first("PhysicsComp", 1);
    obj.AttachComponent(first);
    first.value = 3;
    Component* stored = obj.GetComponent("PhysicsComp");
    obj.AttachComponent(CountedComp("PhysicsComp", 2));
    EXPECT_TRUE(obj.componentList.size() == 1u && obj.GetComponent("PhysicsComp") == stored);
    EXPECT_TRUE(obj.FindComponent<CountedComp>("PhysicsComp")->value == 1 && CountedComp::live == 2);  // no refused clone left
    EXPECT_FALSE(System::Instance().running);
    EXPECT_TRUE(log.Logged("ERROR: objects/game_object.cpp:") && log.Logged("this->name = dup\n")) << log.NewLog();
  }
  EXPECT_EQ(CountedComp::live, 0);
  support::LogCapture log;
  GameObject obj;
  obj.AttachComponent(ModelComp());
  EXPECT_TRUE(obj.FindComponent<CountedComp>("TagComp") == nullptr && !obj.HasComponent("TagComp"));
  EXPECT_EQ(obj.FindComponent<CountedComp>("ModelComp"), nullptr);  // wrong type
  EXPECT_NE(static_cast<const GameObject&>(obj).FindComponent<ModelComp>("ModelComp"), nullptr);
  EXPECT_TRUE(obj.GetComponent("PhysicsComp") == nullptr && obj.HasComponent("PhysicsComp"));
  const GameObject copy(obj);
  EXPECT_TRUE(copy.HasComponent("ModelComp") && !copy.HasComponent("PhysicsComp"));
  obj.AttachComponent(CountedComp("PhysicsComp"));
  EXPECT_TRUE(log.ErrorLogged() && obj.GetComponent("PhysicsComp") == nullptr);
}

}  // namespace
