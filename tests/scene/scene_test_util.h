#pragma once
// Small helpers shared by the scene tests.

#include <array>
#include <cmath>
#include <vector>

#include "objects/model_comp.h"
#include "objects/object_manager.h"

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

// The mass model of the pieces, in double: the volume estimate (the sum over
// triangles of |(p1 - p0) x (p2 - p0)| times the distance of the centroid
// from the origin, over 3), and the diagonal inertia of the mass spread as
// equal point masses over every triangle corner.
inline double VolumeEstimate(const Mesh& mesh) {
  double sum = 0.0;
  for (const Triangle& t : mesh.triangles) {
    double p[3][3], cross[3], centre[3];
    for (int c = 0; c < 3; ++c)
      for (int k = 0; k < 3; ++k) p[c][k] = mesh.vertices[t.indices[c]].Position()[k];
    for (int k = 0; k < 3; ++k) {
      const int a = (k + 1) % 3, b = (k + 2) % 3;
      cross[k] = (p[1][a] - p[0][a]) * (p[2][b] - p[0][b]) - (p[1][b] - p[0][b]) * (p[2][a] - p[0][a]);
      centre[k] = (p[0][k] + p[1][k] + p[2][k]) / 3.0;
    }
    sum += std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]) *
           std::sqrt(centre[0] * centre[0] + centre[1] * centre[1] + centre[2] * centre[2]) / 3.0;
  }
  return sum;
}
inline std::array<double, 3> PointMassInertia(const Mesh& mesh, double mass) {
  std::array<double, 3> inertia = {0.0, 0.0, 0.0};
  const double each = mass / (3.0 * mesh.TriangleCount());
  for (const Triangle& t : mesh.triangles)
    for (uint32_t i : t.indices) {
      const Vertex& v = mesh.vertices[i];
      const double square[3] = {double(v.x) * v.x, double(v.y) * v.y, double(v.z) * v.z};
      for (int k = 0; k < 3; ++k) inertia[k] += each * (square[(k + 1) % 3] + square[(k + 2) % 3]);
    }
  return inertia;
}

}  // namespace scene_test
