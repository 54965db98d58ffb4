#pragma once
// The large closed meshes the cut benchmarks share: a lumpy lat-long blob
// numbered the way scans are (ring by ring), the same blob subdivided the
// way exporters number it, and any of them with its vertex numbers and
// triangle order shuffled; and the plane they are cut with.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <unordered_map>
#include <vector>

#include "geom/mesh.h"
#include "math/plane.h"

namespace scan_blob {

inline const Plane kPlane(Normalize(Vector(0.3f, 1.0f, 0.2f, 0.0f)), Vector(0.0f, 0.0f, 0.0f, 0.0f));

struct Soup {
  std::vector<Vertex> vertices;
  std::vector<uint32_t> corners;  // three per triangle
};

// A closed lat-long surface of about `triangles` triangles with a radius
// that wobbles with latitude and longitude, numbered ring by ring.
inline Soup ScanBlob(uint32_t triangles) {
  const uint32_t n = static_cast<uint32_t>(std::sqrt(triangles / 2.0));  // rings = segments
  Soup s;
  const float pi = 3.14159265f;
  s.vertices.emplace_back(0.0f, 1.0f, 0.0f);
  for (uint32_t i = 1; i < n; ++i) {
    const float lat = pi * i / n;
    for (uint32_t j = 0; j < n; ++j) {
      const float lon = 2.0f * pi * j / n;
      const float r = 1.0f + 0.15f * std::sin(5.0f * lat) * std::cos(3.0f * lon);
      s.vertices.emplace_back(r * std::sin(lat) * std::cos(lon), r * std::cos(lat),
                              r * std::sin(lat) * std::sin(lon));
    }
  }
  s.vertices.emplace_back(0.0f, -1.0f, 0.0f);
  const uint32_t south = static_cast<uint32_t>(s.vertices.size()) - 1;
  auto at = [n](uint32_t ring, uint32_t j) { return 1 + (ring - 1) * n + j % n; };
  auto add = [&s](uint32_t a, uint32_t b, uint32_t c) { s.corners.insert(s.corners.end(), {a, b, c}); };
  for (uint32_t j = 0; j < n; ++j) add(0, at(1, j + 1), at(1, j));
  for (uint32_t i = 1; i + 1 < n; ++i)
    for (uint32_t j = 0; j < n; ++j) {
      add(at(i, j), at(i, j + 1), at(i + 1, j + 1));
      add(at(i, j), at(i + 1, j + 1), at(i + 1, j));
    }
  for (uint32_t j = 0; j < n; ++j) add(south, at(n - 1, j), at(n - 1, j + 1));
  return s;
}

// One midpoint subdivision, numbered the way subdividing exporters number
// it: the original vertices first, then one new vertex per edge, and each
// corner triangle listed from its original vertex, so that three triangles
// in four start at a vertex number in the first quarter of the range.
inline Soup Subdivided(const Soup& in) {
  Soup out;
  out.vertices = in.vertices;
  std::unordered_map<uint64_t, uint32_t> mid;
  auto middle = [&](uint32_t a, uint32_t b) {
    const uint64_t key = uint64_t(std::min(a, b)) << 32 | std::max(a, b);
    auto [it, added] = mid.try_emplace(key, static_cast<uint32_t>(out.vertices.size()));
    if (added) {
      const Vertex &p = in.vertices[a], &q = in.vertices[b];
      out.vertices.emplace_back((p.x + q.x) / 2, (p.y + q.y) / 2, (p.z + q.z) / 2);
    }
    return it->second;
  };
  for (size_t k = 0; k < in.corners.size(); k += 3) {
    const uint32_t a = in.corners[k], b = in.corners[k + 1], c = in.corners[k + 2];
    const uint32_t ab = middle(a, b), bc = middle(b, c), ca = middle(c, a);
    out.corners.insert(out.corners.end(), {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca});
  }
  return out;
}

// The same surface with its vertex numbers and triangle order permuted.
inline Soup Shuffled(const Soup& in) {
  std::mt19937 random(12345);
  std::vector<uint32_t> newIndex(in.vertices.size());
  std::iota(newIndex.begin(), newIndex.end(), 0u);
  std::shuffle(newIndex.begin(), newIndex.end(), random);
  Soup out;
  out.vertices.resize(in.vertices.size());
  for (size_t v = 0; v < in.vertices.size(); ++v) out.vertices[newIndex[v]] = in.vertices[v];
  std::vector<uint32_t> order(in.corners.size() / 3);
  std::iota(order.begin(), order.end(), 0u);
  std::shuffle(order.begin(), order.end(), random);
  for (uint32_t t : order)
    for (int k = 0; k < 3; ++k) out.corners.push_back(newIndex[in.corners[3 * t + k]]);
  return out;
}

}  // namespace scan_blob
