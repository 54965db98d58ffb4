#pragma once
// Surface checks of meshes, computed independently of the code under test
// (for test programs that link the geometry layer or above).

#include <cstdint>
#include <string>
#include <unordered_map>

#include "geom/mesh.h"

namespace support {

// Empty when every index is in range and every directed edge occurs once and
// its reverse exactly once (a closed, consistently wound surface); otherwise
// a description of the first fault found.
inline std::string SurfaceFault(const Mesh& mesh) {
  auto key = [](uint64_t a, uint64_t b) { return a << 32 | b; };
  std::unordered_map<uint64_t, int> count;
  for (const Triangle& t : mesh.triangles)
    for (int c = 0; c < 3; ++c) {
      if (t.indices[c] >= mesh.VertexCount()) return "index out of range";
      ++count[key(t.indices[c], t.indices[(c + 1) % 3])];
    }
  for (const auto& [k, n] : count) {
    const auto reverse = count.find(key(uint32_t(k), k >> 32));
    const int r = reverse == count.end() ? 0 : reverse->second;
    if (n != 1 || r != 1)
      return "edge (" + std::to_string(k >> 32) + "," + std::to_string(uint32_t(k)) + ") occurs " +
             std::to_string(n) + " times, its reverse " + std::to_string(r) + " times";
  }
  return "";
}

// Signed volume by the divergence theorem: the sum over triangles of
// p0 . (p1 x p2) / 6, in double. Positive for a closed outward-wound surface.
inline double SignedVolume(const Mesh& mesh) {
  double sum = 0.0;
  for (const Triangle& t : mesh.triangles) {
    const Vertex &a = mesh.vertices[t.indices[0]], &b = mesh.vertices[t.indices[1]],
                 &c = mesh.vertices[t.indices[2]];
    sum += a.x * (double(b.y) * c.z - double(b.z) * c.y) + a.y * (double(b.z) * c.x - double(b.x) * c.z) +
           a.z * (double(b.x) * c.y - double(b.y) * c.x);
  }
  return sum / 6.0;
}

// Volume, centre of mass and inertia tensor about the centre (unit density)
// of a solid, made from its integrals of 1, r and r r^T, r measured from o.
struct Moments {
  double volume = 0.0, centre[3] = {0, 0, 0}, inertia[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
};
inline Moments MomentsOf(const Vector& o, double volume, const double (&first)[3], const double (&second)[3][3]) {
  Moments m;
  m.volume = volume;
  double c[3], covariance[3][3];
  for (int i = 0; i < 3; ++i) c[i] = first[i] / volume, m.centre[i] = o[i] + c[i];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) covariance[i][j] = second[i][j] - volume * c[i] * c[j];
  const double trace = covariance[0][0] + covariance[1][1] + covariance[2][2];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.inertia[i][j] = (i == j ? trace : 0.0) - covariance[i][j];
  return m;
}

// The Moments of the solid a closed surface encloses, in double, by a route
// of its own: the surface is fanned into tetrahedra from its first vertex,
// and for a tetrahedron with one corner at the origin and the others p0, p1,
// p2 (det = p0 . (p1 x p2)) the integral of r r^T is
// det / 120 (sum p_i p_i^T + s s^T), s = p0 + p1 + p2.
inline Moments PolyhedronMoments(const Mesh& mesh) {
  if (mesh.vertices.empty()) return Moments();
  const Vector o = mesh.vertices[0].Position();
  double volume = 0.0, first[3] = {0, 0, 0}, second[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  for (const Triangle& t : mesh.triangles) {
    double p[3][3], s[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c)
      for (int k = 0; k < 3; ++k) s[k] += p[c][k] = double(mesh.vertices[t.indices[c]].Position()[k]) - o[k];
    const double det = p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) +
                       p[0][1] * (p[1][2] * p[2][0] - p[1][0] * p[2][2]) +
                       p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0]);
    volume += det / 6.0;
    for (int i = 0; i < 3; ++i) {
      first[i] += det / 24.0 * s[i];
      for (int j = 0; j < 3; ++j)
        second[i][j] += det / 120.0 * (p[0][i] * p[0][j] + p[1][i] * p[1][j] + p[2][i] * p[2][j] + s[i] * s[j]);
    }
  }
  return MomentsOf(o, volume, first, second);
}

}  // namespace support
