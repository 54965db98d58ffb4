#include "math/plane.h"

Plane Plane::FromPoints(const Vector& p0, const Vector& p1, const Vector& p2) {
  return Plane(Normalize(Cross(p1 - p0, p2 - p0)), p0);
}
