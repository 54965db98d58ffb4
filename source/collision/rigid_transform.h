#pragma once
// RigidTransform: a rotation followed by a translation, x -> q x + p.
//
// Composition reads right to left like matrices: (A * B)(x) = A(B(x)), so
// the frame of B expressed in the frame of A is A.Inverse() * B.

#include "math/matrix4.h"
#include "math/quaternion.h"
#include "math/vector.h"

// q v q* for a unit quaternion, as 2(u.v)u + (s^2 - u.u)v + 2s(u x v) on
// x, y, z (w comes out 0). The same formula as Quaternion::Rotate, inline
// because the collision loops call it for every object and hull vector.
inline Vector RotateVector(const Quaternion& q, const Vector& v) {
  const Vector& u = q.u;
  const float uv = u.x * v.x + u.y * v.y + u.z * v.z;
  const float uu = u.x * u.x + u.y * u.y + u.z * u.z;
  const float a = 2.0f * uv, b = q.s * q.s - uu, c = 2.0f * q.s;
  return Vector(a * u.x + b * v.x + c * (u.y * v.z - u.z * v.y),
                a * u.y + b * v.y + c * (u.z * v.x - u.x * v.z),
                a * u.z + b * v.z + c * (u.x * v.y - u.y * v.x), 0.0f);
}

struct RigidTransform {
  Quaternion orientation;
  Vector position;

  RigidTransform() = default;
  RigidTransform(const Quaternion& orientation_, const Vector& position_)
      : orientation(orientation_), position(position_) {}

  // q p + t for a point (w is ignored and comes out 0).
  Vector Apply(const Vector& p) const {
    const Vector r = RotateVector(orientation, p);
    return Vector(r.x + position.x, r.y + position.y, r.z + position.z, 0.0f);
  }
  // q v for a direction.
  Vector ApplyVector(const Vector& v) const { return RotateVector(orientation, v); }
  // q^-1 (p - t): the point back in the local frame. The orientation is
  // taken as a unit quaternion, so its inverse is its conjugate.
  Vector ApplyInverse(const Vector& p) const {
    return RotateVector(orientation.Conjugate(),
                        Vector(p.x - position.x, p.y - position.y, p.z - position.z, 0.0f));
  }

  RigidTransform Inverse() const {
    const Quaternion inverse = orientation.Conjugate();
    return RigidTransform(inverse, RotateVector(inverse, -position));
  }

  // (A * B)(x) = A(B(x)): orientation qA qB, position qA pB + pA.
  RigidTransform operator*(const RigidTransform& b) const {
    return RigidTransform(orientation * b.orientation, Apply(b.position));
  }
};

// The rotation of a transform as a 3x3 row-major block, for applying one
// transform to many points: nine multiplies per point instead of the
// quaternion formula's eighteen or so.
struct RotationBlock {
  float r[9];
  Vector t;

  explicit RotationBlock(const RigidTransform& transform) {
    const Matrix4 m = transform.orientation.ToMatrix();
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 3; ++col) r[3 * row + col] = m(row, col);
    t = Vector(transform.position.x, transform.position.y, transform.position.z, 0.0f);
  }
  Vector Rotate(const Vector& v) const {
    return Vector(r[0] * v.x + r[1] * v.y + r[2] * v.z, r[3] * v.x + r[4] * v.y + r[5] * v.z,
                  r[6] * v.x + r[7] * v.y + r[8] * v.z, 0.0f);
  }
  Vector Apply(const Vector& p) const { return Rotate(p) + t; }
};
