#pragma once
// Small helpers shared by the scene tests.

#include <cmath>
#include <utility>
#include <vector>

#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "physics/physics_comp.h"
#include "support/mesh_checks.h"

namespace scene_test {

inline bool Finite(const Vector& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

inline Mesh& MeshOf(GameObject& obj) { return obj.Find<ModelComp>()->mesh; }

// World positions of every vertex of an object.
inline std::vector<Vector> WorldVertices(GameObject& obj) {
  std::vector<Vector> out;
  const ModelComp* model = obj.Find<ModelComp>();
  for (const Vertex& v : model->mesh.vertices)
    out.push_back(obj.orientation.Rotate(v.Position() * model->scale) + obj.position);
  return out;
}

// The lowest and the highest world height of an object's mesh.
inline std::pair<float, float> Heights(GameObject& obj) {
  std::pair<float, float> heights(1e9f, -1e9f);
  for (const Vector& p : WorldVertices(obj)) heights = {std::fmin(heights.first, p.y), std::fmax(heights.second, p.y)};
  return heights;
}

// The body of `obj` against the exact mass properties of its mesh as it lies
// in the world (support::PolyhedronMoments), each within 1e-4: mass
// density * volume (relative), the object's position at the centre of mass
// (of the solid's size), the tensor turned to the world, R I R^T (of its
// trace).
inline void ExpectExactBody(GameObject& obj, double density) {
  Mesh world = MeshOf(obj);
  const std::vector<Vector> p = WorldVertices(obj);
  for (size_t v = 0; v < p.size(); ++v) world.vertices[v] = Vertex(p[v].x, p[v].y, p[v].z);
  const support::Moments m = support::PolyhedronMoments(world);
  const PhysicsComp& body = *obj.Find<PhysicsComp>();
  const double size = std::cbrt(m.volume), scale = density * (m.inertia[0][0] + m.inertia[1][1] + m.inertia[2][2]);
  EXPECT_NEAR(body.mass, density * m.volume, 1e-4 * density * m.volume) << obj.name;
  const Matrix4 r = obj.orientation.ToMatrix(), tensor = r * body.inertiaTensor * r.Transpose();
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(obj.position[i], m.centre[i], 1e-4 * size) << obj.name << " " << i;
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(tensor(i, j), density * m.inertia[i][j], 1e-4 * scale) << obj.name << " " << i << j;
  }
}

}  // namespace scene_test
