#include "physics/constraint.h"

#include "math/matrix4.h"

void ConstraintRows::Resize(size_t n) {
  jacobian.assign(n, JacobianRow());
  bias.assign(n, 0.0f);
  lower.assign(n, 0.0f);
  upper.assign(n, 0.0f);
}

void FrictionConstraint::BuildRows(ConstraintRows& out, const RigidBody& a,
                                   const RigidBody& b) const {
  out.Resize(1);
  // Sliding velocity: the relative velocity of the two contact points (each
  // body's v + w x r) without its normal part. The spin counts: a body that
  // turns on its contact, or rocks on it, slides there although its centre
  // may stand still.
  const Vector n = WithW(normal, 0.0f);
  const Vector vrel = WithW(b.linearVelocity + Cross(b.angularVelocity, rB) - a.linearVelocity -
                                Cross(a.angularVelocity, rA),
                            0.0f);
  const Vector t = vrel - n * Dot3(vrel, n);
  const float speed = Length(t);
  if (!(speed > kMinSlidingSpeed)) return;
  const Vector tHat = t / speed;
  JacobianRow& j = out.jacobian[0];
  j.linearA = -tHat;
  j.angularA = Cross(-rA, tHat);
  j.linearB = tHat;
  j.angularB = Cross(rB, tHat);
  const float meanMass = (a.mass + b.mass) * 0.5f;
  const float bound = mu * meanMass * kBoundAcceleration;
  out.lower[0] = -bound;
  out.upper[0] = bound;
  out.bias[0] = 0.0f;
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
