#pragma once
// Mouse picking: the ray gameplay hands in, the hits it gets back, and the
// ray/sphere test that produces them.

#include <cstdint>

#include "math/quaternion.h"
#include "math/vector.h"

struct PickRay {
  Vector origin;
  Vector direction;  // need not be unit length; t is measured in its units
};

struct PickResult {
  double time = 0.0;    // System::GetTime() at the test, seconds
  float t = 0.0f;       // ray parameter of the hit: point = origin + t direction
  uint32_t objectId = 0;
  Vector point;         // the hit point
  Quaternion orientation;  // the object's orientation at the test
  Vector position;         // the object's position at the test
};

// Ray against the sphere (center, radius). With a = d.d, b = 2 d.(o - c),
// q = |o - c|^2 - r^2 the hits solve a t^2 + b t + q = 0, disc = b^2 - 4aq:
// no hit when disc < -1e-8, the grazing root -b/2a when |disc| <= 1e-8, the
// nearer root (-b - sqrt(disc))/2a otherwise. A ray starting inside the
// sphere therefore reports the entry point behind its origin (t < 0), and so
// does a sphere wholly behind the origin; callers decide what to do with
// those. A zero direction has no hits. Returns whether there is a hit.
bool PickSphere(const PickRay& ray, const Vector& center, float radius, float& t);
