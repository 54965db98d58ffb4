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

// A second concrete type, to check casts by type.
class OtherComp : public Component {
 public:
  OtherComp() : Component("OtherComp") {}
  Component* Clone() const override { return new OtherComp(*this); }
};

GameObject MakeThreeComponentObject() {
  GameObject obj;
  obj.name = "three";
  obj.objNum = 17;
  obj.position = Vector(1.0f, 2.0f, 3.0f, 1.0f);
  obj.orientation = Quaternion::FromAxisAngle(Vector(0.0f, 1.0f, 0.0f), 0.5f);
  obj.AttachComponent(CountedComp("ModelComp", 1));
  obj.AttachComponent(CountedComp("PhysicsComp", 2));
  obj.AttachComponent(CountedComp("CollisionComp", 3));
  obj.age = 42;
  obj.dead = true;
  return obj;
}

}  // namespace

TEST(GameObject, DefaultStateAndTableSettings) {
  GameObject obj;
  EXPECT_TRUE(obj.name.empty());
  EXPECT_EQ(obj.age, 0);
  EXPECT_FALSE(obj.dead);
  EXPECT_EQ(obj.position, Vector(0.0f, 0.0f, 0.0f, 0.0f));
  EXPECT_EQ(obj.orientation, Quaternion(1.0f, Vector(0.0f, 0.0f, 0.0f, 0.0f)));
  EXPECT_TRUE(obj.componentList.empty());
  EXPECT_GE(obj.componentList.bucket_count(), 50u);
  EXPECT_FLOAT_EQ(obj.componentList.max_load_factor(), 1.0f);
}

TEST(GameObject, AttachStoresACloneTheCallerKeepsTheOriginal) {
  const int before = CountedComp::live;
  {
    CountedComp original("ModelComp", 7);
    GameObject obj;
    obj.AttachComponent(original);
    ASSERT_TRUE(obj.HasComponent("ModelComp"));
    Component* stored = obj.GetComponent("ModelComp");
    EXPECT_NE(stored, &original);
    original.value = 8;  // the stored clone does not follow the caller's copy
    EXPECT_EQ(obj.FindComponent<CountedComp>("ModelComp")->value, 7);
  }
  EXPECT_EQ(CountedComp::live, before);
}

TEST(GameObject, CopyOwnsItsOwnComponents) {
  const int before = CountedComp::live;
  {
    auto source = std::make_unique<GameObject>(MakeThreeComponentObject());
    GameObject copy(*source);

    EXPECT_EQ(copy.name, "three");
    EXPECT_EQ(copy.objNum, 17u);
    EXPECT_EQ(copy.position, source->position);
    EXPECT_EQ(copy.orientation, source->orientation);
    // A copy starts young and alive whatever the source was.
    EXPECT_EQ(copy.age, 0);
    EXPECT_FALSE(copy.dead);

    ASSERT_EQ(copy.componentList.size(), 3u);
    for (const auto& entry : source->componentList) {
      CountedComp* mine = copy.FindComponent<CountedComp>(entry.first);
      ASSERT_NE(mine, nullptr) << entry.first;
      EXPECT_NE(mine, entry.second) << entry.first;
      EXPECT_EQ(mine->componentName, entry.first);
      EXPECT_EQ(mine->value, static_cast<CountedComp*>(entry.second)->value);
    }
    EXPECT_EQ(CountedComp::live, before + 6);

    // Destroying the source leaves the copy's components alive and intact.
    source.reset();
    EXPECT_EQ(CountedComp::live, before + 3);
    EXPECT_EQ(copy.FindComponent<CountedComp>("ModelComp")->value, 1);
    EXPECT_EQ(copy.FindComponent<CountedComp>("PhysicsComp")->value, 2);
    EXPECT_EQ(copy.FindComponent<CountedComp>("CollisionComp")->value, 3);
  }
  EXPECT_EQ(CountedComp::live, before);
}

TEST(GameObject, AssignmentReplacesComponentsWithoutLeaks) {
  const int before = CountedComp::live;
  {
    GameObject source = MakeThreeComponentObject();
    GameObject target;
    target.name = "target";
    target.AttachComponent(CountedComp("ModelComp", 99));
    target.AttachComponent(CountedComp("Extra", 5));
    target.age = 3;

    target = source;
    EXPECT_EQ(target.name, "three");
    EXPECT_EQ(target.age, 0);
    EXPECT_FALSE(target.dead);
    ASSERT_EQ(target.componentList.size(), 3u);
    EXPECT_FALSE(target.HasComponent("Extra"));
    EXPECT_EQ(target.FindComponent<CountedComp>("ModelComp")->value, 1);
    EXPECT_NE(target.GetComponent("ModelComp"), source.GetComponent("ModelComp"));
    EXPECT_EQ(CountedComp::live, before + 6);

    // Self-assignment keeps the object and its components as they are.
    Component* kept = target.GetComponent("PhysicsComp");
    GameObject& alias = target;
    target = alias;
    EXPECT_EQ(target.GetComponent("PhysicsComp"), kept);
    EXPECT_EQ(target.componentList.size(), 3u);
    EXPECT_EQ(CountedComp::live, before + 6);
  }
  EXPECT_EQ(CountedComp::live, before);
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
    EXPECT_TRUE(capture.Logged("this->name = dup\n"));
    EXPECT_TRUE(capture.Logged("comp.componentName = PhysicsComp\n"));
    EXPECT_TRUE(capture.Logged("componentList.find(comp.componentName)->first = PhysicsComp\n"));
    EXPECT_TRUE(capture.Logged("componentList.find(comp.componentName)->second = "));
    EXPECT_TRUE(capture.Logged("objects/game_object.cpp:"));
    EXPECT_TRUE(capture.Logged(" tried to attach a duplicate component\n"));
  }
  EXPECT_EQ(CountedComp::live, before);
}

TEST(GameObject, GetComponentOfAMissingNameInsertsANullEntry) {
  ErrorCapture capture;
  GameObject obj;
  obj.name = "missing";
  EXPECT_FALSE(obj.HasComponent("PhysicsComp"));
  EXPECT_EQ(obj.GetComponent("PhysicsComp"), nullptr);
  // The lookup left a null entry behind, which then blocks an attach.
  EXPECT_TRUE(obj.HasComponent("PhysicsComp"));
  obj.AttachComponent(CountedComp("PhysicsComp"));
  EXPECT_TRUE(capture.Logged("tried to attach a duplicate component"));
  EXPECT_EQ(obj.GetComponent("PhysicsComp"), nullptr);
}

TEST(GameObject, FindComponentNeverInsertsAndChecksTheType) {
  GameObject obj;
  obj.AttachComponent(OtherComp());
  EXPECT_EQ(obj.FindComponent<CountedComp>("ModelComp"), nullptr);
  EXPECT_FALSE(obj.HasComponent("ModelComp"));
  EXPECT_NE(obj.FindComponent<OtherComp>("OtherComp"), nullptr);
  EXPECT_EQ(obj.FindComponent<CountedComp>("OtherComp"), nullptr);  // wrong type
  const GameObject& view = obj;
  EXPECT_NE(view.FindComponent<OtherComp>("OtherComp"), nullptr);
}

TEST(GameObject, CopySkipsNullEntriesLeftByLookups) {
  GameObject obj;
  obj.AttachComponent(OtherComp());
  (void)obj.GetComponent("PhysicsComp");
  GameObject copy(obj);
  EXPECT_TRUE(copy.HasComponent("OtherComp"));
  EXPECT_FALSE(copy.HasComponent("PhysicsComp"));
}

TEST(ModelComp, DefaultsAndCloneDeepCopiesTheMesh) {
  ModelComp model;
  EXPECT_EQ(model.componentName, "ModelComp");
  EXPECT_FLOAT_EQ(model.scale, 1.0f);
  EXPECT_TRUE(model.extraFlag0);
  EXPECT_FALSE(model.extraFlag1);

  model.scale = 2.5f;
  model.mesh.AddVertex(Vertex(0.0f, 0.0f, 0.0f));
  model.mesh.AddVertex(Vertex(1.0f, 0.0f, 0.0f));
  model.mesh.AddVertex(Vertex(0.0f, 1.0f, 0.0f));
  model.mesh.AddTriangle(0, 1, 2);

  GameObject obj;
  obj.AttachComponent(model);
  GameObject copy(obj);
  ModelComp* original = obj.FindComponent<ModelComp>("ModelComp");
  ModelComp* cloned = copy.FindComponent<ModelComp>("ModelComp");
  ASSERT_NE(original, nullptr);
  ASSERT_NE(cloned, nullptr);
  EXPECT_FLOAT_EQ(cloned->scale, 2.5f);
  ASSERT_EQ(cloned->mesh.VertexCount(), 3u);
  ASSERT_EQ(cloned->mesh.TriangleCount(), 1u);

  // Changing the original's mesh leaves the clone's alone.
  original->mesh.vertices[1].x = 5.0f;
  original->mesh.AddVertex(Vertex(0.0f, 0.0f, 1.0f));
  EXPECT_FLOAT_EQ(cloned->mesh.vertices[1].x, 1.0f);
  EXPECT_EQ(cloned->mesh.VertexCount(), 3u);
}
