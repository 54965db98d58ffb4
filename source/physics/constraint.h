#pragma once
// Constraints: one-dimensional velocity constraints ("rows") over two bodies.
// A row has a Jacobian J = [linear A, angular A, linear B, angular B], a bias
// xi (the target value of J v) and bounds on its multiplier lambda. Friction
// rows are built per contact point by a temporary FrictionConstraint; joint
// rows by the BallJointConstraints that Physics owns.

#include <cstdint>
#include <vector>

#include "math/vector.h"
#include "physics/rigid_body.h"

// The Jacobian of one row; only x, y, z are meaningful (w is kept 0).
struct JacobianRow {
  Vector linearA;
  Vector angularA;
  Vector linearB;
  Vector angularB;
};

// The rows a constraint produces, in four parallel arrays.
class ConstraintRows {
 public:
  // n rows, all zero: Jacobian, bias and both bounds 0.
  void Resize(size_t n);
  size_t Size() const { return jacobian.size(); }

  std::vector<JacobianRow> jacobian;
  std::vector<float> bias;
  std::vector<float> lower;
  std::vector<float> upper;
};

class Constraint {
 public:
  Constraint(uint32_t objectA_, uint32_t objectB_) : objectA(objectA_), objectB(objectB_) {}
  virtual ~Constraint() = default;

  // Fills `out` with this constraint's rows for the bodies of A and B.
  virtual void BuildRows(ConstraintRows& out, const RigidBody& a, const RigidBody& b) const = 0;

  uint32_t objectA;
  uint32_t objectB;
};

// Friction at one contact point: two rows along a pair of tangents that
// depend on the normal alone. Coulomb's law bounds each row's force by mu
// times the contact's normal force, so the rows carry the bounds -mu and +mu
// per unit of normal force; the solver scales them by the normal row's
// lambda as it goes (ConstraintSolver::AddFrictionRow). Fixed axes hold a
// body at rest in every direction and let each row's force carry over to the
// next step (warm start): a single row along the sliding direction of the
// moment resists only that direction, which at rest is noise, and builds its
// force anew every step, so bodies on the slopes of a heap crept downhill.
class FrictionConstraint : public Constraint {
 public:
  static constexpr float kCoefficient = 0.1f;  // mu, dimensionless

  FrictionConstraint(uint32_t objectA_, uint32_t objectB_, const Vector& rA_, const Vector& rB_,
                     const Vector& normal_, float mu_ = kCoefficient)
      : Constraint(objectA_, objectB_), rA(rA_), rB(rB_), normal(normal_), mu(mu_) {}

  void BuildRows(ConstraintRows& out, const RigidBody& a, const RigidBody& b) const override;

  Vector rA;      // contact point on A minus A's position
  Vector rB;      // contact point on B minus B's position
  Vector normal;  // unit, from A towards B
  float mu;

  // Two unit tangents t1, t2 with (t1, t2, n) orthonormal, a continuous
  // function of the unit n away from the switch between two formulas.
  static void Tangents(const Vector& n, Vector& t1, Vector& t2);
};

// Keeps anchor A (in A's body frame) and anchor B (in B's body frame) at the
// same world point: three rows, one per world axis, whose bias is the anchor
// separation d = (xA + rA) - (xB + rB); Physics scales it by the Baumgarte
// factor, so B's anchor is driven towards A's at k d per unit time.
class BallJointConstraint : public Constraint {
 public:
  static constexpr float kMaxLambda = 3000.0f;  // force bound of each row

  BallJointConstraint(uint32_t objectA_, uint32_t objectB_) : Constraint(objectA_, objectB_) {}
  BallJointConstraint(uint32_t objectA_, uint32_t objectB_, const Vector& anchorA_,
                      const Vector& anchorB_)
      : Constraint(objectA_, objectB_), anchorA(anchorA_), anchorB(anchorB_) {}

  void BuildRows(ConstraintRows& out, const RigidBody& a, const RigidBody& b) const override;

  Vector anchorA;  // body frame of A
  Vector anchorB;  // body frame of B
};
