#pragma once
// Contact records: what the narrow phase hands to the physics solver. One
// ContactManifold per colliding pair names a run of ContactPoints in the
// point buffer (firstPoint .. firstPoint + pointCount - 1).

#include <cstdint>

#include "math/quaternion.h"
#include "math/vector.h"

struct ContactManifold {
  double time = 0.0;  // frame start time of the test, seconds
  uint32_t objectA = 0;
  uint32_t objectB = 0;
  Vector positionA, positionB;
  Quaternion orientationA, orientationB;
  uint32_t firstPoint = 0;  // index into the contact-point buffer
  uint32_t pointCount = 0;  // 1 .. 10
};

struct ContactPoint {
  uint32_t featureA = 0;  // where on A the contact is; warm-start key
  uint32_t featureB = 0;  // where on B
  Vector point;           // world frame
  Vector pointOnA;        // world frame
  Vector pointOnB;        // world frame
  Vector normal;          // unit, world frame, from A towards B
  float depth = 0.0f;     // penetration along the normal
};
