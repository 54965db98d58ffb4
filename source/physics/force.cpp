#include "physics/force.h"

void GravityForce::Apply(std::vector<RigidBody>& bodies, const BodyIndexMap& indexMap,
                         double time) {
  (void)time;
  uint32_t index = 0;
  if (!indexMap.Find(objectId, index)) return;
  RigidBody& body = bodies[index];
  body.force += direction * (g * body.mass);
}

void SpringForce::Apply(std::vector<RigidBody>& bodies, const BodyIndexMap& indexMap,
                        double time) {
  (void)time;
  uint32_t indexA = 0, indexB = 0;
  if (!indexMap.Find(objectId, indexA) || !indexMap.Find(objectB, indexB)) return;
  RigidBody& a = bodies[indexA];
  RigidBody& b = bodies[indexB];
  const Vector d = WithW(b.position - a.position, 0.0f);
  const float length = Length(d);
  // Coincident centres give no direction to push along; skip this step
  // rather than spread a NaN into both bodies.
  if (!(length > 0.0f)) return;
  const Vector n = d / length;
  const float magnitude = (length - restLength) * stiffness;
  a.force += n * magnitude;
  b.force += n * (-magnitude);
}
