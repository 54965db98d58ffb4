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
  static constexpr const char* kName = "CountedComp";
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
      const auto found = copy->componentList.find(entry.first);
      CountedComp* mine =
          found == copy->componentList.end() ? nullptr : dynamic_cast<CountedComp*>(found->second);
      ASSERT_NE(mine, nullptr) << entry.first;
      EXPECT_NE(mine, entry.second) << entry.first;
      EXPECT_EQ(mine->componentName, entry.first);
      EXPECT_EQ(mine->value, static_cast<CountedComp*>(entry.second)->value);
    }
    EXPECT_EQ(CountedComp::live, before + 6);
    source.reset();
    EXPECT_EQ(CountedComp::live, before + 3);
    for (const auto& entry : copy->componentList)  // "Comp<i>" holds value i
      EXPECT_EQ(static_cast<CountedComp*>(entry.second)->value, entry.first.back() - '0');

    // Self-assignment keeps the object and its components as they are.
    const GameObject::ComponentList kept = copy->componentList;
    GameObject& alias = *copy;
    *copy = alias;
    EXPECT_EQ(copy->componentList, kept);
    EXPECT_EQ(CountedComp::live, before + 3);
  }
  EXPECT_EQ(CountedComp::live, before);

  // Attach stores a clone: the caller's component stays the caller's.
  CountedComp original(CountedComp::kName, 7);
  GameObject obj;
  obj.AttachComponent(original);
  original.value = 8;
  EXPECT_EQ(obj.Find<CountedComp>()->value, 7);
}

TEST(GameObject, DuplicateAttachIsReportedAndChangesNothing) {
  ErrorCapture capture;
  const int before = CountedComp::live;
  {
    GameObject obj;
    obj.name = "dup";
    obj.AttachComponent(CountedComp(CountedComp::kName, 1));
    const CountedComp* stored = obj.Find<CountedComp>();
    obj.AttachComponent(CountedComp(CountedComp::kName, 2));
    EXPECT_EQ(obj.componentList.size(), 1u);
    EXPECT_EQ(obj.Find<CountedComp>(), stored);
    EXPECT_EQ(obj.Find<CountedComp>()->value, 1);
    EXPECT_EQ(CountedComp::live, before + 1);  // the refused clone was never made or was freed
    EXPECT_TRUE(System::Instance().ErrorReported());
    EXPECT_FALSE(System::Instance().running);
    for (const char* line :
         {"this->name = dup\n", "comp.componentName = CountedComp\n",
          "componentList.find(comp.componentName)->first = CountedComp\n",
          "componentList.find(comp.componentName)->second = ", "objects/game_object.cpp:",
          " tried to attach a duplicate component\n"})
      EXPECT_TRUE(capture.Logged(line)) << line;
  }
  EXPECT_EQ(CountedComp::live, before);
}

// A null entry left in the table blocks an attach and is skipped by a copy;
// Find never inserts and checks the type.
TEST(GameObject, LookupsOfMissingNamesAndWrongTypes) {
  ErrorCapture capture;
  GameObject obj;
  obj.AttachComponent(ModelComp());
  EXPECT_EQ(obj.Find<CountedComp>(), nullptr);
  EXPECT_FALSE(obj.Has<CountedComp>());
  EXPECT_EQ(obj.componentList.size(), 1u);
  GameObject impostor;  // a CountedComp under ModelComp's name
  impostor.AttachComponent(CountedComp(ModelComp::kName));
  EXPECT_EQ(impostor.Find<ModelComp>(), nullptr);  // wrong type
  EXPECT_NE(static_cast<const GameObject&>(obj).Find<ModelComp>(), nullptr);

  obj.componentList.emplace(CountedComp::kName, nullptr);
  EXPECT_EQ(obj.Find<CountedComp>(), nullptr);
  const GameObject copy(obj);
  EXPECT_TRUE(copy.Has<ModelComp>());
  EXPECT_EQ(copy.componentList.size(), 1u);
  obj.AttachComponent(CountedComp(CountedComp::kName));
  EXPECT_TRUE(capture.Logged("tried to attach a duplicate component"));
  EXPECT_EQ(obj.componentList.at(CountedComp::kName), nullptr);
}

TEST(ModelComp, CloneDeepCopiesTheMesh) {
  ModelComp model;
  model.scale = 2.5f;
  model.mesh.AddVertex(Vertex(1.0f, 0.0f, 0.0f));
  GameObject obj;
  obj.AttachComponent(model);
  const GameObject copy(obj);
  const ModelComp* cloned = copy.Find<ModelComp>();
  ASSERT_NE(cloned, nullptr);
  EXPECT_FLOAT_EQ(cloned->scale, 2.5f);
  // Changing the original's mesh leaves the clone's alone.
  Mesh& original = obj.Find<ModelComp>()->mesh;
  original.vertices[0].x = 5.0f;
  original.AddVertex(Vertex(0.0f, 0.0f, 1.0f));
  ASSERT_EQ(cloned->mesh.VertexCount(), 1u);
  EXPECT_FLOAT_EQ(cloned->mesh.vertices[0].x, 1.0f);
}
