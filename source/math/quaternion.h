#pragma once
// Quaternion: scalar part s followed by vector part u (u.w is kept 0).
// Identity is s = 1, u = 0. Products are Hamilton products:
//   (s1, u1)(s2, u2) = (s1 s2 - u1.u2, s1 u2 + s2 u1 + u1 x u2).

#include "math/matrix4.h"
#include "math/vector.h"

struct Quaternion {
  float s = 1.0f;
  Vector u;

  Quaternion() = default;
  Quaternion(float s_, const Vector& u_) : s(s_), u(u_) {}

  // Rotation of `angle` radians about the unit axis.
  static Quaternion FromAxisAngle(const Vector& axis, float angle);
  // The rotation held in the upper 3x3 of a matrix (assumed orthonormal).
  static Quaternion FromMatrix(const Matrix4& r);

  Quaternion operator*(const Quaternion& b) const;
  Quaternion operator+(const Quaternion& b) const { return {s + b.s, u + b.u}; }
  Quaternion operator-(const Quaternion& b) const { return {s - b.s, u - b.u}; }
  Quaternion operator*(float k) const { return {s * k, u * k}; }
  bool operator==(const Quaternion& b) const { return s == b.s && u == b.u; }

  float Length() const;
  Quaternion Normalized() const;
  Quaternion Conjugate() const { return {s, -u}; }
  // Rotates v: 2(u.v)u + (s^2 - u.u)v + 2s(u x v), with three-component dots.
  Vector Rotate(const Vector& v) const;
  // The 4x4 rotation matrix (no translation).
  Matrix4 ToMatrix() const;
};
