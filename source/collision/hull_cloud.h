#pragma once
// HullCloud: a hull's vertices as three contiguous coordinate arrays, so
// projecting them on an axis is one streaming pass. The arrays are padded
// to a multiple of eight (one 8-lane or two 4-lane vector steps) with copies
// of the first vertex, which changes no minimum or maximum; `count` is the
// true number of vertices.

#include <cstddef>
#include <vector>

#include "math/vector.h"

struct HullCloud {
  std::vector<float> x, y, z;
  size_t count = 0;
  size_t Size() const { return count; }
  void Resize(size_t n) {
    count = n;
    const size_t padded = (n + 7) & ~size_t(7);
    x.resize(padded);
    y.resize(padded);
    z.resize(padded);
  }
  void Set(size_t i, const Vector& v) {
    x[i] = v.x;
    y[i] = v.y;
    z[i] = v.z;
  }
  void Pad() {
    for (size_t i = count; i < x.size(); ++i) {
      x[i] = x[0];
      y[i] = y[0];
      z[i] = z[0];
    }
  }
  Vector At(size_t i) const { return Vector(x[i], y[i], z[i], 0.0f); }
};
