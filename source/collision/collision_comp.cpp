#include "collision/collision_comp.h"

#include <cmath>

namespace {

// The distance from the object's origin (where it turns about) to the far
// side of its bounding sphere: no hull point lies further out.
float TurnRadius(const CollisionComp& comp) {
  return std::sqrt(Dot3(comp.boundingCenter, comp.boundingCenter)) + comp.boundingRadius;
}

// x, or 0 when x is not a number or not positive, at most `cap`.
float Bounded(float x, float cap) {
  if (!(x > 0.0f)) return 0.0f;
  return x < cap ? x : cap;
}

}  // namespace

Component* CollisionComp::Clone() const { return new CollisionComp(*this); }

void CollisionComp::SetMotion(const Vector& linear, const Vector& angular) {
  linearVelocity = Vector(linear.x, linear.y, linear.z, 0.0f);
  speed = std::sqrt(Dot3(linearVelocity, linearVelocity));
  angularSpeed = std::sqrt(Dot3(angular, angular));
}

float MovingReach(const CollisionComp& comp) {
  return Bounded((comp.speed + comp.angularSpeed * TurnRadius(comp)) * kSpeculativeTime,
                 kMaxMotionReach);
}

float SpeculativeReach(const CollisionComp& a, const CollisionComp& b) {
  if (!(a.speed + a.angularSpeed + b.speed + b.angularSpeed > 0.0f)) return kSpeculativeSlack;
  const Vector relative = a.linearVelocity - b.linearVelocity;
  const float speed = std::sqrt(Dot3(relative, relative)) + a.angularSpeed * TurnRadius(a) +
                      b.angularSpeed * TurnRadius(b);
  return Bounded(speed * kSpeculativeTime, MotionReach(a) + MotionReach(b)) + kSpeculativeSlack;
}
