// The workbench controls on the headless scene: pause and single steps, slow
// motion, and taking cuts back.

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "game_logic/object_break_logic.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "physics/physics.h"
#include "scene/headless_scene.h"

namespace {

// Every object's number, name, place, motion, mass properties, sleeping and
// mesh, exactly (floats in hexadecimal).
std::map<uint32_t, std::string> SceneState() {
  std::map<uint32_t, std::string> state;
  ObjectLock lock;
  for (auto& entry : ObjectManager::Instance().objects) {
    GameObject& obj = entry.second;
    std::ostringstream out;
    out << std::hexfloat << obj.name << obj.position << obj.orientation.ToMatrix().Column(0)
        << obj.orientation.ToMatrix().Column(1);
    if (const PhysicsComp* body = obj.Find<PhysicsComp>()) {
      out << body->linearVelocity << body->angularVelocity << body->mass << body->sleeping;
      for (int i = 0; i < 9; ++i) out << ' ' << body->inertiaTensor(i / 3, i % 3);
    }
    if (const ModelComp* model = obj.Find<ModelComp>()) {
      out << model->mesh.TriangleCount();
      for (const Vertex& v : model->mesh.vertices) out << ' ' << v.x << ' ' << v.y << ' ' << v.z;
    }
    state[entry.first] = out.str();
  }
  return state;
}

}  // namespace

TEST(Workbench, PauseFreezesTheSceneOMakesOneStepAndTimeScaleSlowsIt) {
  HeadlessScene scene;
  scene.AddStartObjects();
  // Far from everything: in free fall, one step of dt adds g dt to its speed.
  const uint32_t falling = scene.AddSolid("falling", Vector(30.0f, 200.0f, 30.0f), Vector(0.5f, 0.5f, 0.5f, 0.0f), Box);
  scene.Step(10);
  StepClock& clock = Physics::Instance().clock;
  clock.SetPaused(true);
  const std::map<uint32_t, std::string> frozen = SceneState();
  scene.Step(3);
  EXPECT_EQ(SceneState(), frozen);

  const float dt = 1.0f / 60.0f, g = 10.0f;
  for (const float scale : {1.0f, 0.25f}) {
    clock.SetScale(scale);
    const float v0 = scene.Body(falling).linearVelocity.y;
    clock.RequestStep();
    scene.Step(3);  // one step, then two frozen frames
    EXPECT_NEAR(scene.Body(falling).linearVelocity.y, v0 - g * dt * scale, 1e-4f) << scale;
  }
  EXPECT_NE(SceneState(), frozen);
  clock.SetPaused(false);
  clock.SetScale(StepClock::kMinScale / 2.0f);  // clamped to a tenth
  const float v0 = scene.Body(falling).linearVelocity.y;
  scene.Step(2);
  EXPECT_NEAR(scene.Body(falling).linearVelocity.y, v0 - 2.0f * g * dt * StepClock::kMinScale, 1e-4f);
  clock.SetScale(1.0f);
}

TEST(Workbench, UndoingThreeCutsGivesTheSceneBackAsItWasBeforeThem) {
  HeadlessScene scene;
  const std::vector<uint32_t> start = scene.AddStartObjects();
  scene.Step(20);  // falling: every object moves
  Physics::Instance().clock.SetPaused(true);
  const std::map<uint32_t, std::string> before = SceneState();

  // Cuts while paused are made at once: through the cone, the sphere and the
  // box, each along another axis.
  ObjectBreakLogic logic;
  logic.splitter.onChop = nullptr;
  size_t objects = before.size();
  for (int cut = 0; cut < 3; ++cut) {
    Vector normal;
    normal[cut] = 1.0f;
    logic.SliceObjects(Plane(normal, scene.Object(start[cut]).position));
    while (!logic.splitter.splitQueue.empty()) logic.ProcessSplitQueue();
    scene.Step(1);
    EXPECT_GT(ObjectManager::Instance().objects.size(), objects) << cut;
    objects = ObjectManager::Instance().objects.size();
  }
  for (int cut = 0; cut < 3; ++cut) EXPECT_TRUE(logic.UndoCut()) << cut;
  EXPECT_FALSE(logic.UndoCut());
  EXPECT_EQ(SceneState(), before);
  Physics::Instance().clock.SetPaused(false);
}
