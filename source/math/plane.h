#pragma once
// Plane: a unit normal followed by a point on the plane. A point is in front
// when its signed distance exceeds the on-plane tolerance, behind when it is
// below minus the tolerance, and on the plane otherwise. Normals carry w = 0,
// so only x, y, z take part in the distance.

#include "math/vector.h"

struct Plane {
  Vector normal;
  Vector point;

  Plane() = default;
  Plane(const Vector& n, const Vector& p) : normal(n), point(p) {}

  // Through three points: normal = normalize((p1 - p0) x (p2 - p0)), point = p0.
  static Plane FromPoints(const Vector& p0, const Vector& p1, const Vector& p2);

  // n . (p - q), over x, y, z.
  float SignedDistance(const Vector& p) const { return Dot3(normal, p - point); }
};

// A line record: direction followed by origin; the point at t is o + d t.
struct Line {
  Vector direction;
  Vector origin;

  Vector PointAt(float t) const { return origin + direction * t; }
};
