#pragma once
// PhysicsComp: the rigid-body data of a game object. Gameplay sets the mass,
// the inertia tensor and the velocities directly; Physics copies them into its
// private bodies at every sync and adds the step's change back at write-back.

#include "math/matrix4.h"
#include "math/vector.h"
#include "objects/component.h"

class PhysicsComp : public Component {
 public:
  // The name it is attached and stored under (scene dumps and logs show it).
  static constexpr const char* kName = "PhysicsComp";

  PhysicsComp() : Component(kName) {}
  PhysicsComp(const PhysicsComp&) = default;
  PhysicsComp& operator=(const PhysicsComp&) = default;

  Component* Clone() const override { return new PhysicsComp(*this); }

  Vector angularVelocity;  // rad/s, world frame
  Vector linearVelocity;   // units/s, world frame
  Vector spareA;           // kept for layout; read by nothing
  Vector spareB;           // kept for layout; read by nothing
  // A mass of 0 or less makes the body immovable: contacts, joints and forces
  // then leave its velocities alone.
  float mass = 1.0f;
  // Inertia about the centre of mass (the object's origin), body frame: the
  // full symmetric 3x3 tensor in the upper left, off-diagonal products of
  // inertia included; the fourth row and column are not used.
  Matrix4 inertiaTensor;
  // Set by Physics when the body's island has been still for a while: its
  // velocities are then zero and it is neither solved nor integrated until
  // it wakes. Physics wakes it when a moving body touches it, when someone
  // moves it or sets a velocity, or when this flag is cleared: gameplay
  // clears it to wake a body it drags or cuts.
  bool sleeping = false;
};
