#include "physics/constraint.h"

#include <cmath>

#include "math/matrix4.h"

void ConstraintRows::Resize(size_t n) {
  jacobian.assign(n, JacobianRow());
  bias.assign(n, 0.0f);
  lower.assign(n, 0.0f);
  upper.assign(n, 0.0f);
}

void FrictionConstraint::Tangents(const Vector& n, Vector& t1, Vector& t2) {
  // Perpendicular to n from its two larger components: never near zero.
  const Vector t = std::fabs(n.x) > 0.57735f ? Vector(n.y, -n.x, 0.0f) : Vector(0.0f, n.z, -n.y);
  t1 = t / Length(t);
  t2 = Cross(WithW(n, 0.0f), t1);
}

void FrictionConstraint::BuildRows(ConstraintRows& out, const RigidBody& /*a*/,
                                   const RigidBody& /*b*/) const {
  // Each row measures the sliding velocity of the two contact points (each
  // body's v + w x r) along its tangent. The spin counts: a body that turns
  // on its contact, or rocks on it, slides there although its centre may
  // stand still.
  out.Resize(2);
  Vector tangents[2];
  Tangents(normal, tangents[0], tangents[1]);
  for (int i = 0; i < 2; ++i) {
    const Vector& t = tangents[i];
    JacobianRow& j = out.jacobian[i];
    j.linearA = -t;
    j.angularA = Cross(-rA, t);
    j.linearB = t;
    j.angularB = Cross(rB, t);
    out.lower[i] = -mu;  // per unit of normal force
    out.upper[i] = mu;
    out.bias[i] = 0.0f;
  }
}

void BallJointConstraint::BuildRows(ConstraintRows& out, const RigidBody& a,
                                    const RigidBody& b) const {
  out.Resize(3);
  const Vector rA = a.orientation.Rotate(anchorA);
  const Vector rB = b.orientation.Rotate(anchorB);
  const Vector d = WithW((a.position + rA) - (b.position + rB), 0.0f);
  // [r]x w = r x w, so row i of [rA]x dotted with omega_A is (rA x omega_A)_i
  // = -(omega_A x rA)_i: the row measures (vB + wB x rB) - (vA + wA x rA).
  const Matrix4 crossA = Matrix4::CrossMatrix(rA);
  const Matrix4 crossB = Matrix4::CrossMatrix(rB);
  for (int i = 0; i < 3; ++i) {
    Vector axis;
    axis[i] = 1.0f;
    JacobianRow& j = out.jacobian[i];
    j.linearA = -axis;
    j.angularA = WithW(crossA.Axis(i), 0.0f);
    j.linearB = axis;
    j.angularB = -WithW(crossB.Axis(i), 0.0f);
    out.lower[i] = -kMaxLambda;
    out.upper[i] = kMaxLambda;
    out.bias[i] = d[i];
  }
}
