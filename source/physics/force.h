#pragma once
// Forces: external influences applied once per step, before the constraint
// solve. A force only adds into the force accumulator F of the bodies it
// names; the accumulators are zeroed at every sync, so each force acts for
// exactly one step per update. A force whose object has no body does nothing
// in that step and stays in the list until its object leaves the object
// table (PhysicsWorld::Sync drops it then).

#include <cstdint>
#include <vector>

#include "math/vector.h"
#include "physics/body_index_map.h"
#include "physics/rigid_body.h"

class Force {
 public:
  explicit Force(uint32_t objectId_) : objectId(objectId_) {}
  virtual ~Force() = default;

  // Adds this force into the accumulators of its bodies. `time` is the
  // frame start time in seconds; no force reads it today.
  virtual void Apply(std::vector<RigidBody>& bodies, const BodyIndexMap& indexMap,
                     double time) = 0;

  // The other body a force acts on (a spring's B); objectId when there is
  // one. The two bodies sleep and wake together.
  virtual uint32_t SecondObjectId() const { return objectId; }

  uint32_t objectId;  // the body acted on (object A for a spring)
};

// Uniform gravity: F += direction * (g * m). The direction is used as given
// (not normalised), so a longer direction means a stronger pull.
class GravityForce : public Force {
 public:
  static constexpr float kDefaultG = 9.8f;  // units/s^2

  explicit GravityForce(uint32_t objectId_, float g_ = kDefaultG,
                        const Vector& direction_ = Vector(0.0f, -1.0f, 0.0f, 0.0f))
      : Force(objectId_), g(g_), direction(direction_) {}

  void Apply(std::vector<RigidBody>& bodies, const BodyIndexMap& indexMap, double time) override;

  float g;
  Vector direction;
};

// Undamped linear spring between the centres of A and B with rest length L
// and stiffness k. With d = xB - xA and n = d/|d|:
//   F(A) += n (|d| - L) k,   F(B) -= n (|d| - L) k
// so a stretched spring pulls the two together and a compressed one pushes
// them apart. When both centres coincide n is undefined and the spring is
// skipped for that step.
class SpringForce : public Force {
 public:
  SpringForce(uint32_t objectA, uint32_t objectB_, float restLength_, float stiffness_)
      : Force(objectA), objectB(objectB_), restLength(restLength_), stiffness(stiffness_) {}

  void Apply(std::vector<RigidBody>& bodies, const BodyIndexMap& indexMap, double time) override;
  uint32_t SecondObjectId() const override { return objectB; }

  uint32_t objectB;
  float restLength;  // L, units
  float stiffness;   // k, force per unit of stretch
};
