#include "math/vector.h"

#include <cmath>
#include <cstdio>
#include <ostream>

float Length(const Vector& v) { return std::sqrt(Dot(v, v)); }

Vector Normalize(const Vector& v) { return v / Length(v); }

Vector WithW(const Vector& v, float w) { return {v.x, v.y, v.z, w}; }

std::ostream& operator<<(std::ostream& os, const Vector& v) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%+.4f %+.4f %+.4f %+.4f \n", v.x, v.y, v.z, v.w);
  return os << buffer;
}
