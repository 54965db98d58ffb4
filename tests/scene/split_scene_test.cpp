// Cuts in the running scene, without a window: the headless harness steps
// collision and physics in lockstep while the split queue does its work, as
// the program does once per frame.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "physics/physics_comp.h"
#include "scene/headless_scene.h"
#include "scene/scene_dump.h"
#include "scene/split_orchestration.h"
#include "scene_test_util.h"
#include "support/mesh_checks.h"

namespace {

using scene_test::Finite;

// Lowest world height of an object's mesh.
float Bottom(GameObject& obj) {
  float bottom = 1e9f;
  for (const Vector& p : scene_test::WorldVertices(obj)) bottom = std::min(bottom, p.y);
  return bottom;
}

// Sum of the exact volumes of every solid but the ground.
double SolidVolume() {
  double total = 0.0;
  for (auto& entry : ObjectManager::Instance().objects)
    if (entry.second.name != "GROUND_PLANE" && !entry.second.dead)
      total += support::SignedVolume(scene_test::MeshOf(entry.second));
  return total;
}

}  // namespace

// The drag across the sphere first: its halves must land on (not in) the
// ground and stay close by. Then ten more cuts across the pile: every piece
// stays closed, finite, above the ground, and the volume is kept.
TEST(SplitSceneTest, CutsKeepEveryPieceClosedOnTheGroundAndTheVolume) {
  HeadlessScene::InitModules();
  HeadlessScene scene;
  scene.AddStartObjects();
  scene.Step(180);
  const Vector sphereAtRest = scene.Object(ObjectManager::Instance().GetObjNum("obj4")).position;
  const double startVolume = SolidVolume();

  // The plane of a vertical drag across the sphere from the start camera:
  // through the line's two ends (on the near plane) and the eye.
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane::FromPoints(Vector(5.1669f, 2.1976f, 1.1449f),
                                              Vector(5.1669f, 2.0360f, 1.1449f),
                                              Vector(5.3574f, 2.1208f, 1.2421f)));
  ASSERT_EQ(orchestrator.splitQueue.size(), 1u);  // the plane misses the cone and the box
  orchestrator.ProcessSplitQueue(1.0e6);
  std::vector<uint32_t> halves;
  for (auto& entry : ObjectManager::Instance().objects)
    if (entry.second.name == "obj4" || entry.second.name.rfind("split_obj_", 0) == 0)
      halves.push_back(entry.first);
  ASSERT_EQ(halves.size(), 2u);
  // Ten seconds: the halves tip over and rock on their round sides.
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

  // Ten planes through the pile, a fixed pseudo-random set, each followed by
  // frames as the program runs them: the queue within its budget, then
  // collision and physics, then the sweep.
  std::mt19937 random(20261206);
  std::uniform_real_distribution<float> x(-8.0f, 1.0f), y(0.3f, 3.0f), z(-4.0f, 5.0f),
      unit(-1.0f, 1.0f);
  for (int cut = 0; cut < 10; ++cut) {
    Vector normal(unit(random), unit(random), unit(random));
    if (Length(normal) < 0.1f) normal = Vector(1.0f, 0.0f, 0.0f);
    orchestrator.SliceObjects(Plane(Normalize(normal), Vector(x(random), y(random), z(random))));
    for (int frame = 0; frame < 30; ++frame) {
      orchestrator.ProcessSplitQueue();
      scene.Step(1);
      ObjectManager::Instance().RemoveDeadObjects();
    }
  }
  while (!orchestrator.splitQueue.empty()) orchestrator.ProcessSplitQueue();
  ObjectManager::Instance().RemoveDeadObjects();
  scene.Step(600);

  int pieces = 0;
  for (auto& entry : ObjectManager::Instance().objects) {
    GameObject& obj = entry.second;
    SCOPED_TRACE(obj.name);
    const Mesh& mesh = scene_test::MeshOf(obj);
    EXPECT_EQ(CountOpenEdges(mesh), 0u);
    ASSERT_TRUE(Finite(obj.position));
    if (obj.name == "GROUND_PLANE") continue;
    pieces += obj.name.rfind("split_obj_", 0) == 0 ? 1 : 0;
    const PhysicsComp* body = obj.FindComponent<PhysicsComp>("PhysicsComp");
    EXPECT_GE(body->mass, 0.1f);
    EXPECT_TRUE(Finite(body->linearVelocity));
    // Resting pieces sink about the 0.08 contact slop; a small piece still
    // settling may be a little deeper. Falling through would be far lower.
    EXPECT_GT(Bottom(obj), -0.25f);
    EXPECT_LT(Length(WithW(mesh.Centroid(), 0.0f)), 1e-3f);  // origin at the centroid
  }
  EXPECT_GE(pieces, 4);
  // Cuts only divide: what is left is the start volume less any chips.
  const double endVolume = SolidVolume();
  EXPECT_LE(endVolume, startVolume * 1.001);
  EXPECT_GE(endVolume, startVolume * 0.98);
}
