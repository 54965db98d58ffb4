#pragma once
// Shapes and a clean object table shared by the collision tests.

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "collision/collision_comp.h"
#include "collision/collision_manager.h"
#include "collision/collision_shapes.h"
#include "geom/mesh_builders.h"
#include "objects/game_object.h"
#include "objects/model_comp.h"
#include "support/objects.h"

namespace collision_test {

// An exact box hull (no margin): the eight corners, the six face normals,
// the three axis directions, the local box and the bounding sphere.
inline CollisionComp BoxHull(const Vector& half) {
  CollisionComp comp;
  for (int i = 0; i < 8; ++i)
    comp.hullVertices.push_back(
        Vector((i & 1) ? half.x : -half.x, (i & 2) ? half.y : -half.y, (i & 4) ? half.z : -half.z));
  for (int k = 0; k < 3; ++k) {
    Vector n;
    n[k] = 1.0f;
    comp.faceNormals.push_back(n);
    comp.faceNormals.push_back(-n);
    comp.edgeDirections.push_back(n);
  }
  comp.hasHull = comp.hasBoundingSphere = comp.hasLocalBox = true;
  comp.boundingRadius = std::sqrt(Dot3(half, half));
  comp.localBox.halfExtents = half;
  comp.groupMask = comp.collideMask = 1;
  return comp;
}

enum class Shape { Box, Sphere, Cone };

// A mesh as the scene builds its solids: box of 2 x 2 x 2 divisions, sphere
// of 12 x 12, cone of 16 x 8 turned over by pi about x so it stands on its
// base. `size` is the half extent, radius, or base radius (height 2 size).
inline Mesh SceneMesh(Shape shape, float size) {
  if (shape == Shape::Box) return BuildBox(2, 2, 2, 2 * size, 2 * size, 2 * size);
  if (shape == Shape::Sphere) return BuildSphere(12, 12, size);
  Mesh mesh = BuildCone(16, 8, size, 0.0f, 2 * size);
  mesh.Transform(Matrix4::Scale(1.0f, -1.0f, -1.0f));  // pi about x
  return mesh;
}

// A game object with the mesh, its bounding sphere, hull and local box
// (grown by 0.04 as the scene does), masks 1, pickable.
inline GameObject MakeSolid(const std::string& name, const Mesh& mesh, const Vector& position,
                            const Quaternion& orientation = Quaternion()) {
  GameObject object;
  object.name = name;
  object.position = position;
  object.orientation = orientation;
  ModelComp model;
  model.mesh = mesh;
  object.AttachComponent(model);
  object.AttachComponent(CollisionComp());
  GenerateBoundingSphere(object);
  GenerateCollisionHull(object);
  CollisionComp* comp = object.Find<CollisionComp>();
  comp->localBox = ComputeBoundingBox(mesh, 1.0f);
  comp->localBox.halfExtents += Vector(0.04f, 0.04f, 0.04f);
  comp->hasLocalBox = true;
  comp->groupMask = comp->collideMask = 1;
  return object;
}

// The scene's ground: a 300 x 10 x 300 box of 5 x 5 x 5 divisions at
// (0, -5, 0), top face at y = 0, not pickable.
inline GameObject MakeGround() {
  GameObject ground = MakeSolid("GROUND_PLANE", BuildBox(5, 5, 5, 300, 10, 300), Vector(0, -5, 0));
  ground.Find<CollisionComp>()->pickable = false;
  return ground;
}

// Runs each test on an empty object table with the collision switches at
// their defaults and empty result buffers, and restores that afterwards.
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    support::ClearObjects();
    CollisionManager& manager = CollisionManager::Instance();
    manager.ProcessEvents();  // drop anything a test left queued
    manager.collisionOn = manager.pickOn = true;
    manager.doMultipleContacts = false;
    manager.SetPickRay(PickRay());
    for (int i = 0; i < 2; ++i) manager.Update();  // two frames empty both halves of every buffer
    manager.pickOn = false;
  }
  static uint32_t Add(const GameObject& object) { return ObjectManager::Instance().AddGameObject(object); }
};

}  // namespace collision_test
