// Cuts in the running scene, without a window: the headless harness steps
// collision and physics in lockstep while the split queue does its work, as
// the program does once per frame.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "game_logic/headless_scene.h"
#include "game_logic/scene_dump.h"
#include "game_logic/split_orchestration.h"
#include "object_manager.h"
#include "objects/model_comp.h"
#include "physics/physics_comp.h"

namespace {

// The plane of a vertical drag across the sphere as seen from the start
// camera: through the two ends of the line (on the near plane) and the eye.
Plane SphereCutPlane() {
  const Vector start(5.1669f, 2.1976f, 1.1449f);
  const Vector end(5.1669f, 2.0360f, 1.1449f);
  const Vector eye(5.3574f, 2.1208f, 1.2421f);
  return Plane::FromPoints(start, end, eye);
}

// Lowest world height of an object's mesh.
float Bottom(GameObject& obj) {
  const ModelComp* model = obj.FindComponent<ModelComp>("ModelComp");
  float bottom = 1e9f;
  for (const Vertex& v : model->mesh.vertices)
    bottom = std::min(bottom, (obj.orientation.Rotate(v.Position()) + obj.position).y);
  return bottom;
}

// Exact enclosed volume of a closed, outward-wound mesh.
double ExactVolume(const Mesh& mesh) {
  double sum = 0.0;
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
    sum += Dot3(mesh.CornerPosition(t, 0),
                Cross(mesh.CornerPosition(t, 1), mesh.CornerPosition(t, 2)));
  return sum / 6.0;
}

bool Finite(const Vector& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Sum of the exact volumes of every solid but the ground.
double SolidVolume() {
  double total = 0.0;
  for (auto& entry : ObjectManager::Instance().objects) {
    if (entry.second.name == "GROUND_PLANE" || entry.second.dead) continue;
    total += ExactVolume(entry.second.FindComponent<ModelComp>("ModelComp")->mesh);
  }
  return total;
}

}  // namespace

TEST(SplitSceneTest, CutSphereHalvesLandOnTheGroundAndStayNearby) {
  HeadlessScene::InitModules();
  HeadlessScene scene;
  scene.AddStartObjects();
  scene.Step(180);
  const Vector sphereAtRest = scene.Object(ObjectManager::Instance().GetObjNum("obj4")).position;

  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(SphereCutPlane());
  ASSERT_EQ(orchestrator.splitQueue.size(), 1u);  // the plane misses the cone and the box
  orchestrator.ProcessSplitQueue(1.0e6);

  ObjectManager& manager = ObjectManager::Instance();
  std::vector<uint32_t> halves;
  for (auto& entry : manager.objects)
    if (entry.second.name == "obj4" || entry.second.name.rfind("split_obj_", 0) == 0)
      halves.push_back(entry.first);
  ASSERT_EQ(halves.size(), 2u);

  // Ten seconds: the halves tip over and rock on their round sides; they
  // must stay on (not in) the ground, close by and finite.
  for (int second = 1; second <= 10; ++second) {
    scene.Step(60);
    for (const uint32_t id : halves) {
      GameObject& obj = scene.Object(id);
      const PhysicsComp& body = scene.Body(id);
      SCOPED_TRACE(obj.name + " at second " + std::to_string(second));
      ASSERT_TRUE(Finite(obj.position) && Finite(body.linearVelocity));
      EXPECT_NEAR(Bottom(obj), 0.0f, 0.05f);
      EXPECT_LT(Length(WithW(body.linearVelocity, 0.0f)), 3.0f);
      const Vector away = obj.position - sphereAtRest;
      EXPECT_LT(std::hypot(away.x, away.z), 6.0f);
    }
  }
}

TEST(SplitSceneTest, RepeatedCutsKeepEveryPieceClosedAndTheVolume) {
  HeadlessScene::InitModules();
  HeadlessScene scene;
  scene.AddStartObjects();
  scene.Step(120);
  const double startVolume = SolidVolume();

  // Ten planes through the pile, a fixed pseudo-random set.
  std::mt19937 random(20261206);
  std::uniform_real_distribution<float> x(-8.0f, 1.0f), y(0.3f, 3.0f), z(-4.0f, 5.0f),
      unit(-1.0f, 1.0f);
  SplitOrchestrator orchestrator;
  for (int cut = 0; cut < 10; ++cut) {
    Vector normal(unit(random), unit(random), unit(random));
    if (Length(normal) < 0.1f) normal = Vector(1.0f, 0.0f, 0.0f);
    orchestrator.SliceObjects(Plane(Normalize(normal), Vector(x(random), y(random), z(random))));
    // Frames as the program runs them: the queue within its budget, then
    // collision and physics.
    for (int frame = 0; frame < 30; ++frame) {
      orchestrator.ProcessSplitQueue();
      scene.Step(1);
      ObjectManager::Instance().RemoveDeadObjects();
    }
  }
  while (!orchestrator.splitQueue.empty()) orchestrator.ProcessSplitQueue();
  ObjectManager::Instance().RemoveDeadObjects();
  scene.Step(600);

  ObjectManager& manager = ObjectManager::Instance();
  int pieces = 0;
  for (auto& entry : manager.objects) {
    GameObject& obj = entry.second;
    SCOPED_TRACE(obj.name);
    const Mesh& mesh = obj.FindComponent<ModelComp>("ModelComp")->mesh;
    EXPECT_EQ(CountOpenEdges(mesh), 0u);
    ASSERT_TRUE(Finite(obj.position));
    if (obj.name == "GROUND_PLANE") continue;
    pieces += obj.name.rfind("split_obj_", 0) == 0 ? 1 : 0;
    const PhysicsComp* body = obj.FindComponent<PhysicsComp>("PhysicsComp");
    EXPECT_GE(body->mass, 0.1f);
    EXPECT_TRUE(Finite(body->linearVelocity));
    EXPECT_GT(Bottom(obj), -0.1f);
    // Each piece's origin is its centroid.
    EXPECT_LT(Length(WithW(mesh.Centroid(), 0.0f)), 1e-3f);
  }
  EXPECT_GE(pieces, 3);
  // Cuts only divide: what is left is the start volume less any chips.
  const double endVolume = SolidVolume();
  EXPECT_LE(endVolume, startVolume * 1.001);
  EXPECT_GE(endVolume, startVolume * 0.98);
}
