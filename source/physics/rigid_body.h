#pragma once
// RigidBody: Physics' private copy of one physical object for one step.
// Bodies live in one contiguous array indexed by a dense body index; the
// snapshot fields hold the values copied at the sync, so the write-back can
// add only the change the step made.

#include <cstdint>

#include "math/matrix4.h"
#include "math/quaternion.h"
#include "math/vector.h"

struct RigidBody {
  float mass = 1.0f;
  Matrix4 bodyInertia;  // body frame, full symmetric 3x3 (upper left)
  Quaternion orientation;
  Vector position;
  Vector angularVelocity;  // omega, rad/s, world frame
  Vector linearVelocity;   // v, units/s, world frame

  // Values at the sync; the write-back adds (current - snapshot).
  Quaternion snapOrientation;
  Vector snapPosition;
  Vector snapAngularVelocity;
  Vector snapLinearVelocity;

  float inverseMass = 1.0f;
  Matrix4 inverseWorldInertia;  // R I^-1 R^T
  Matrix4 worldInertia;         // R I R^T

  Vector force;   // F, accumulated by the forces of one step
  Vector torque;  // tau

  // Sleep state (see PhysicsWorld). A sleeping body keeps its place and has
  // zero velocities; `island` names the group it fell asleep with, which
  // wakes together. A woken body is held in place for `hold` more steps,
  // until the collision frames that skipped it have contacts for it again.
  bool sleeping = false;
  bool snapSleeping = false;  // the component's flag at the sync
  uint8_t hold = 0;
  // Seconds the body's points have all stayed near where they were at the
  // pose (stillPosition, stillOrientation) that began the window (see
  // PhysicsWorld::kSleepVelocity), and how far its surface reaches from its
  // centre of mass (units), the lever arm that turns a turn into a move.
  float sleepTime = 0.0f;
  float extent = 0.0f;
  Vector stillPosition;
  Quaternion stillOrientation;
  uint32_t island = 0;
  // Changed from outside since the last step (new, moved, or given a
  // velocity, as a held body is): it wakes whatever it touches.
  bool disturbed = false;
  // Contacts found at or before frame time `reshapedAt` were found for an
  // earlier shape of the body (its mass or inertia changed: it was cut) and
  // are not used. `reshaped`: changed at the last sync; the next step takes
  // its frame time as reshapedAt.
  bool reshaped = false;
  double reshapedAt = -1.0e300;

  // Sets mass, body inertia, inverse mass and both world inertias from the
  // current orientation. A mass of 0 or less (or a NaN mass) makes the body
  // immovable: inverse mass and inverse inertia are zero, so forces and
  // constraint impulses cannot change its velocities. A tensor that cannot
  // be inverted (singular or not finite) gives a zero inverse inertia: the
  // body still moves but does not turn.
  void SetMassProperties(float newMass, const Matrix4& newBodyInertia);

  // Remembers the current state as the snapshot the write-back subtracts.
  void TakeSnapshot();

  // Semi-implicit Euler with linear damping c (per second):
  //   v += F m^-1 dt;  v *= 1 - c dt
  //   w += dt I^-1 tau (world inertia) or tau dt;  w *= 1 - c dt
  //   x += v dt;  q += dt/2 (0, w) q
  // The quaternion is left unnormalised; the step normalises all of them.
  void Integrate(float dt, float damping, bool useWorldInertia);
};
