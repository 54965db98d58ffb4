#pragma once
// DistinctVectorList: a list of vectors that refuses near-duplicates.
//
// v counts as present when a stored u has |u.x - v.x| + |u.y - v.y| +
// |u.z - v.z| < tolerance (the Manhattan distance on x, y, z; w is ignored).
// The first vector of a cluster is the one kept. The hull generator uses it
// with a wide tolerance for unit edge directions (2.5, out of a largest
// possible 2 sqrt(3) ~ 3.46, so only a few directions survive), a middling
// one for face normals and a small one for vertices.

#include <cmath>
#include <vector>

#include "math/vector.h"

class DistinctVectorList {
 public:
  explicit DistinctVectorList(float tolerance_) : tolerance(tolerance_) {}

  bool Contains(const Vector& v) const {
    for (const Vector& u : vectors) {
      if (std::fabs(u.x - v.x) + std::fabs(u.y - v.y) + std::fabs(u.z - v.z) < tolerance) return true;
    }
    return false;
  }

  // Appends v unless it is already present; returns whether it was appended.
  bool Add(const Vector& v) {
    if (Contains(v)) return false;
    vectors.push_back(v);
    return true;
  }

  size_t Size() const { return vectors.size(); }

  std::vector<Vector> vectors;
  float tolerance;
};
