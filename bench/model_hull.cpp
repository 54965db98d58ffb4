// BM_ModelHull/<loaded>: the collision hull of a 100 000-triangle torus
// piece. loaded = 1 marks the mesh as a loaded model's, so the hull is the
// Qhull hull bounded to 32 vertices; loaded = 0 runs the mesh hull the
// built-in solids get, as the yardstick. The counters give the hull's size,
// which sets the cost of every separating-axis test against it.

#include <benchmark/benchmark.h>

#include <cmath>

#include "collision/collision_comp.h"
#include "collision/collision_shapes.h"
#include "objects/model_comp.h"

namespace {

// 250 x 200 quads of a torus with radii 2 and 0.7: 100 000 triangles.
Mesh Torus() {
  constexpr uint32_t kAround = 250, kTube = 200;
  constexpr float kPi = 3.14159265358979f;
  Mesh mesh;
  for (uint32_t i = 0; i < kAround; ++i)
    for (uint32_t j = 0; j < kTube; ++j) {
      const float a = 2.0f * kPi * i / kAround, b = 2.0f * kPi * j / kTube;
      const float r = 2.0f + 0.7f * std::cos(b);
      mesh.AddVertex(Vertex(r * std::cos(a), 0.7f * std::sin(b), r * std::sin(a)));
    }
  auto at = [](uint32_t i, uint32_t j) { return (i % kAround) * kTube + j % kTube; };
  for (uint32_t i = 0; i < kAround; ++i)
    for (uint32_t j = 0; j < kTube; ++j) {
      mesh.AddTriangle(at(i, j), at(i, j + 1), at(i + 1, j + 1));
      mesh.AddTriangle(at(i, j), at(i + 1, j + 1), at(i + 1, j));
    }
  return mesh;
}

}  // namespace

static void BM_ModelHull(benchmark::State& state) {
  GameObject object;
  ModelComp model;
  model.mesh = Torus();
  model.mesh.loadedModel = state.range(0) != 0;
  object.AttachComponent(model);
  object.AttachComponent(CollisionComp());
  GenerateBoundingSphere(object);
  CollisionComp* comp = object.Find<CollisionComp>();
  const float radius = comp->boundingRadius;
  for (auto _ : state) {
    comp->edgeDirections.clear();
    comp->faceNormals.clear();
    comp->hullVertices.clear();
    comp->boundingRadius = radius;
    GenerateCollisionHull(object);
    benchmark::DoNotOptimize(comp->hullVertices.data());
  }
  state.counters["triangles"] = static_cast<double>(object.Find<ModelComp>()->mesh.TriangleCount());
  state.counters["vertices"] = static_cast<double>(comp->hullVertices.size());
  state.counters["normals"] = static_cast<double>(comp->faceNormals.size());
  state.counters["edges"] = static_cast<double>(comp->edgeDirections.size());
}
BENCHMARK(BM_ModelHull)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
