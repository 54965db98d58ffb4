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

}  // namespace support
