// BM_CollisionStack/<N>: one collision frame (CollisionManager::Update) over
// N resting solids and the ground, in multiple-contact mode.
//
// The solids cycle box (half extents 0.75), sphere (radius 0.75) and cone
// (base radius 0.75, height 1.5), built with the scene's mesh builders and
// hull generation, in columns 2 apart on a square grid of ceil(cbrt(N))
// columns a side centred on the origin, layer after layer, 1.45 apart: each
// solid rests 0.05 into the one below, the bottom layer 0.05 into the ground
// box kGroundPlaneName (half extents 150, 5, 150, top at y = 0). Every pair
// that touches is tested by the full separating-axis test each frame.

#include <cmath>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "collision/collision_manager.h"
#include "collision/collision_shapes.h"
#include "geom/mesh_builders.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "physics/ground_plane.h"

namespace {

// Solid size (half extent, radius, base radius) and layer pitch, in units.
constexpr float kSize = 0.75f;
constexpr float kColumnPitch = 2.0f;
constexpr float kLayerPitch = 1.45f;
constexpr float kSink = 0.05f;
// Local boxes are grown by this much on every half extent, as the scene does.
constexpr float kLocalBoxGrowth = 0.04f;

Mesh SolidMesh(int kind) {
  switch (kind) {
    case 0:
      return BuildBox(2, 2, 2, 2 * kSize, 2 * kSize, 2 * kSize);
    case 1:
      return BuildSphere(12, 12, kSize);
    default: {
      Mesh cone = BuildCone(16, 8, kSize, 0.0f, 2 * kSize);
      Matrix4 flip;  // pi about x, so the cone stands on its base
      flip(1, 1) = -1.0f;
      flip(2, 2) = -1.0f;
      cone.Transform(flip);
      return cone;
    }
  }
}

GameObject Solid(const std::string& name, const Mesh& mesh, const Vector& position) {
  GameObject object;
  object.name = name;
  object.position = position;
  ModelComp model;
  model.mesh = mesh;
  object.AttachComponent(model);
  object.AttachComponent(CollisionComp());
  GenerateBoundingSphere(object);
  GenerateCollisionHull(object);
  CollisionComp* comp = object.Find<CollisionComp>();
  comp->localBox = ComputeBoundingBox(mesh, 1.0f);
  comp->localBox.halfExtents += Vector(kLocalBoxGrowth, kLocalBoxGrowth, kLocalBoxGrowth);
  comp->hasLocalBox = true;
  comp->groupMask |= 1;
  comp->collideMask |= 1;
  return object;
}

void ClearTable() {
  ObjectManager& objects = ObjectManager::Instance();
  ObjectLock lock;
  for (auto& entry : objects.objects) objects.KillGameObject(entry.second);
  objects.RemoveDeadObjects();
}

void BuildStack(int count) {
  ObjectManager& objects = ObjectManager::Instance();
  GameObject ground =
      Solid(kGroundPlaneName, BuildBox(5, 5, 5, 300, 10, 300), Vector(0, -5, 0));
  ground.Find<CollisionComp>()->pickable = false;
  objects.AddGameObject(ground);
  const Mesh meshes[3] = {SolidMesh(0), SolidMesh(1), SolidMesh(2)};
  const int side = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(count)) - 1e-9));
  const float half = 0.5f * static_cast<float>(side - 1);
  for (int i = 0; i < count; ++i) {
    const int layer = i / (side * side);
    const int column = i % (side * side);
    const Vector position(kColumnPitch * (static_cast<float>(column % side) - half),
                          kSize - kSink + kLayerPitch * static_cast<float>(layer),
                          kColumnPitch * (static_cast<float>(column / side) - half));
    objects.AddGameObject(Solid("solid_" + std::to_string(i), meshes[i % 3], position));
  }
}

void BM_CollisionStack(benchmark::State& state) {
  ClearTable();
  BuildStack(static_cast<int>(state.range(0)));
  CollisionManager& manager = CollisionManager::Instance();
  manager.collisionOn = true;
  manager.doMultipleContacts = true;
  manager.pickOn = false;
  manager.Update();  // the first frame fills the separating-axis cache
  for (auto _ : state) manager.Update();
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  manager.GetContacts(manifolds, points);
  state.counters["manifolds"] = static_cast<double>(manifolds.size());
  state.counters["points"] = static_cast<double>(points.size());
  ClearTable();
}

BENCHMARK(BM_CollisionStack)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
