#pragma once
// Small helpers shared by the scene tests.

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "objects/model_comp.h"
#include "objects/object_manager.h"

namespace scene_test {

inline bool Finite(const Vector& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

// Exact enclosed volume of a closed, outward-wound mesh: sum p0 . (p1 x p2) / 6.
inline double ExactVolume(const Mesh& mesh) {
  double sum = 0.0;
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
    sum += Dot3(mesh.CornerPosition(t, 0),
                Cross(mesh.CornerPosition(t, 1), mesh.CornerPosition(t, 2)));
  return sum / 6.0;
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

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Kills and sweeps every object in the registry.
inline void ClearObjects() {
  ObjectManager& manager = ObjectManager::Instance();
  ObjectLock lock;
  for (auto& entry : manager.objects) manager.KillGameObject(entry.second);
  manager.RemoveDeadObjects();
}

}  // namespace scene_test
