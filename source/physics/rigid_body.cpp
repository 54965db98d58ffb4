#include "physics/rigid_body.h"

#include <algorithm>
#include <cmath>

namespace {

// The inverse of the symmetric 3x3 block of `m` (upper left) by cofactors,
// in double, into the same block of `inverse`. False, leaving `inverse`
// alone, when the block is singular (its determinant no more than a
// millionth of a millionth of its largest diagonal entry cubed, which no
// real body's tensor comes near) or not finite.
bool InvertSymmetric3(const Matrix4& m, Matrix4& inverse) {
  double a[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) a[r][c] = m(r, c);
  double cof[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      cof[r][c] = a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1];
    }
  const double det = a[0][0] * cof[0][0] + a[0][1] * cof[0][1] + a[0][2] * cof[0][2];
  const double largest = std::max({std::fabs(a[0][0]), std::fabs(a[1][1]), std::fabs(a[2][2])});
  if (!std::isfinite(det) || !(det > 1e-12 * largest * largest * largest)) return false;
  // The inverse is the transposed cofactor matrix over the determinant; for
  // a symmetric matrix the cofactors are symmetric too.
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) inverse(r, c) = static_cast<float>(cof[c][r] / det);
  return true;
}

}  // namespace

void RigidBody::SetMassProperties(float newMass, const Matrix4& newBodyInertia) {
  mass = newMass;
  bodyInertia = newBodyInertia;
  const Matrix4 r = orientation.ToMatrix();
  const Matrix4 rT = r.Transpose();
  worldInertia = r * bodyInertia * rT;
  // `!(mass > 0)` also catches NaN.
  if (!(newMass > 0.0f)) {
    inverseMass = 0.0f;
    inverseWorldInertia = Matrix4::Zero();
    return;
  }
  inverseMass = 1.0f / newMass;
  // The full symmetric tensor is inverted, off-diagonal terms and all; the
  // fourth diagonal entry stays as it is. A tensor that cannot be inverted
  // (zero, singular or not finite) leaves the body unable to turn rather
  // than spreading infinities or NaNs through the solver.
  Matrix4 inverseBody = bodyInertia;
  if (!InvertSymmetric3(bodyInertia, inverseBody)) {
    inverseWorldInertia = Matrix4::Zero();
    return;
  }
  inverseWorldInertia = r * inverseBody * rT;
}

void RigidBody::TakeSnapshot() {
  snapOrientation = orientation;
  snapPosition = position;
  snapAngularVelocity = angularVelocity;
  snapLinearVelocity = linearVelocity;
}

void RigidBody::Integrate(float dt, float damping, bool useWorldInertia) {
  const float keep = 1.0f - damping * dt;
  linearVelocity += force * (inverseMass * dt);
  linearVelocity *= keep;
  if (useWorldInertia) {
    angularVelocity += (inverseWorldInertia * dt) * torque;
  } else {
    angularVelocity += torque * dt;
  }
  angularVelocity *= keep;
  position += linearVelocity * dt;
  const Quaternion spin(0.0f, angularVelocity);
  orientation = orientation + (spin * orientation) * (0.5f * dt);
}
