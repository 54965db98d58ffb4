// GameObject ownership and component table: copies own their components,
// duplicates are refused and reported, lookups behave as callers expect.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "error_capture.h"
#include "objects/game_object.h"
#include "objects/model_comp.h"

namespace {

// A component that counts its live instances, so leaks and double deletes
// show up as a wrong count.
class CountedComp : public Component {
 public:
  explicit CountedComp(const std::string& kind, int value_ = 0) : Component(kind), value(value_) {
    ++live;
  }
  CountedComp(const CountedComp& other) : Component(other), value(other.value) { ++live; }
  ~CountedComp() override { --live; }
  Component* Clone() const override { return new CountedComp(*this); }
  int value;
  static int live;
};
int CountedComp::live = 0;

}  // namespace

// Copy construction and assignment both clone every component: destroying
// or changing one object never touches the other, and nothing leaks.
TEST(GameObject, CopiesAndAssignmentsOwnTheirComponents) {
  const int before = CountedComp::live;
  for (const bool assign : {false, true}) {
    SCOPED_TRACE(assign ? "assignment" : "copy");
    auto source = std::make_unique<GameObject>();
    source->name = "three";
    source->objNum = 17;
    source->position = Vector(1.0f, 2.0f, 3.0f, 1.0f);
    source->orientation = Quaternion::FromAxisAngle(Vector(0.0f, 1.0f, 0.0f), 0.5f);
    for (int i = 1; i <= 3; ++i)
      source->AttachComponent(CountedComp("Comp" + std::to_string(i), i));
    source->age = 42;
    source->dead = true;
    std::unique_ptr<GameObject> copy;
    if (assign) {
      copy = std::make_unique<GameObject>();
      copy->AttachComponent(CountedComp("Extra", 5));  // freed by the assignment
      *copy = *source;
    } else {
      copy = std::make_unique<GameObject>(*source);
    }
    EXPECT_EQ(copy->name, "three");
    EXPECT_EQ(copy->objNum, 17u);
    EXPECT_EQ(copy->position, source->position);
    EXPECT_EQ(copy->orientation, source->orientation);
    EXPECT_EQ(copy->age, 0);  // a copy starts young and alive whatever the source was
    EXPECT_FALSE(copy->dead);
    ASSERT_EQ(copy->componentList.size(), 3u);
    for (const auto& entry : source->componentList) {
      CountedComp* mine = copy->FindComponent<CountedComp>(entry.first);
      ASSERT_NE(mine, nullptr) << entry.first;
      EXPECT_NE(mine, entry.second) << entry.first;
      EXPECT_EQ(mine->componentName, entry.first);
      EXPECT_EQ(mine->value, static_cast<CountedComp*>(entry.second)->value);
    }
    EXPECT_EQ(CountedComp::live, before + 6);
    source.reset();
    EXPECT_EQ(CountedComp::live, before + 3);
    EXPECT_EQ(copy->FindComponent<CountedComp>("Comp3")->value, 3);

    // Self-assignment keeps the object and its components as they are.
    Component* kept = copy->GetComponent("Comp2");
    GameObject& alias = *copy;
    *copy = alias;
    EXPECT_EQ(copy->GetComponent("Comp2"), kept);
    EXPECT_EQ(CountedComp::live, before + 3);
  }
  EXPECT_EQ(CountedComp::live, before);

  // Attach stores a clone: the caller's component stays the caller's.
  CountedComp original("ModelComp", 7);
  GameObject obj;
  obj.AttachComponent(original);
  original.value = 8;
  EXPECT_EQ(obj.FindComponent<CountedComp>("ModelComp")->value, 7);
}

TEST(GameObject, DuplicateAttachIsReportedAndChangesNothing) {
  ErrorCapture capture;
  const int before = CountedComp::live;
  {
    GameObject obj;
    obj.name = "dup";
    obj.AttachComponent(CountedComp("PhysicsComp", 1));
    Component* stored = obj.GetComponent("PhysicsComp");
    obj.AttachComponent(CountedComp("PhysicsComp", 2));
    EXPECT_EQ(obj.componentList.size(), 1u);
    EXPECT_EQ(obj.GetComponent("PhysicsComp"), stored);
    EXPECT_EQ(obj.FindComponent<CountedComp>("PhysicsComp")->value, 1);
    EXPECT_EQ(CountedComp::live, before + 1);  // the refused clone was never made or was freed
    EXPECT_TRUE(System::Instance().ErrorReported());
    EXPECT_FALSE(System::Instance().running);
    for (const char* line :
         {"this->name = dup\n", "comp.componentName = PhysicsComp\n",
          "componentList.find(comp.componentName)->first = PhysicsComp\n",
          "componentList.find(comp.componentName)->second = ", "objects/game_object.cpp:",
          " tried to attach a duplicate component\n"})
      EXPECT_TRUE(capture.Logged(line)) << line;
  }
  EXPECT_EQ(CountedComp::live, before);
}

// GetComponent of a missing name leaves a null entry behind (which then
// blocks an attach, and which a copy must skip); FindComponent never inserts
// and checks the type.
TEST(GameObject, LookupsOfMissingNamesAndWrongTypes) {
  ErrorCapture capture;
  GameObject obj;
  obj.AttachComponent(ModelComp());
  EXPECT_EQ(obj.FindComponent<CountedComp>("TagComp"), nullptr);
  EXPECT_FALSE(obj.HasComponent("TagComp"));
  EXPECT_EQ(obj.FindComponent<CountedComp>("ModelComp"), nullptr);  // wrong type
  EXPECT_NE(static_cast<const GameObject&>(obj).FindComponent<ModelComp>("ModelComp"), nullptr);

  EXPECT_EQ(obj.GetComponent("PhysicsComp"), nullptr);
  EXPECT_TRUE(obj.HasComponent("PhysicsComp"));
  const GameObject copy(obj);
  EXPECT_TRUE(copy.HasComponent("ModelComp"));
  EXPECT_FALSE(copy.HasComponent("PhysicsComp"));
  obj.AttachComponent(CountedComp("PhysicsComp"));
  EXPECT_TRUE(capture.Logged("tried to attach a duplicate component"));
  EXPECT_EQ(obj.GetComponent("PhysicsComp"), nullptr);
}

TEST(ModelComp, CloneDeepCopiesTheMesh) {
  ModelComp model;
  model.scale = 2.5f;
  model.mesh.AddVertex(Vertex(1.0f, 0.0f, 0.0f));
  GameObject obj;
  obj.AttachComponent(model);
  const GameObject copy(obj);
  const ModelComp* cloned = copy.FindComponent<ModelComp>("ModelComp");
  ASSERT_NE(cloned, nullptr);
  EXPECT_FLOAT_EQ(cloned->scale, 2.5f);
  // Changing the original's mesh leaves the clone's alone.
  Mesh& original = obj.FindComponent<ModelComp>("ModelComp")->mesh;
  original.vertices[0].x = 5.0f;
  original.AddVertex(Vertex(0.0f, 0.0f, 1.0f));
  ASSERT_EQ(cloned->mesh.VertexCount(), 1u);
  EXPECT_FLOAT_EQ(cloned->mesh.vertices[0].x, 1.0f);
}
