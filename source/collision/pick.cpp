#include "collision/pick.h"

#include <cmath>

bool PickSphere(const PickRay& ray, const Vector& center, float radius, float& t) {
  // Discriminants within this of zero count as a tangent ray.
  constexpr float kGrazing = 1e-8f;
  const Vector& d = ray.direction;
  const Vector oc = ray.origin - center;
  const float a = Dot3(d, d);
  // A zero direction would divide by zero below; such a ray sees nothing.
  if (!(a > 0.0f)) return false;
  const float b = 2.0f * Dot3(d, oc);
  const float q = Dot3(oc, oc) - radius * radius;
  const float disc = b * b - 4.0f * a * q;
  if (disc < -kGrazing) return false;
  if (std::fabs(disc) <= kGrazing) {
    t = -b / (2.0f * a);
  } else {
    t = (-b - std::sqrt(disc)) / (2.0f * a);
  }
  return true;
}
