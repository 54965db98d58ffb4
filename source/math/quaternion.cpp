#include "math/quaternion.h"

#include <cmath>

Quaternion Quaternion::FromAxisAngle(const Vector& axis, float angle) {
  const float half = 0.5f * angle;
  const Vector a = WithW(axis, 0.0f);
  return {std::cos(half), a * std::sin(half)};
}

Quaternion Quaternion::FromMatrix(const Matrix4& r) {
  // Shepperd's method: pick the largest of the four squared components to
  // divide by, so the result stays accurate for every rotation.
  const float trace = r(0, 0) + r(1, 1) + r(2, 2);
  Quaternion q;
  if (trace > 0.0f) {
    const float k = 0.5f / std::sqrt(trace + 1.0f);
    q.s = 0.25f / k;
    q.u = {(r(2, 1) - r(1, 2)) * k, (r(0, 2) - r(2, 0)) * k, (r(1, 0) - r(0, 1)) * k, 0.0f};
  } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
    const float k = 2.0f * std::sqrt(1.0f + r(0, 0) - r(1, 1) - r(2, 2));
    q.s = (r(2, 1) - r(1, 2)) / k;
    q.u = {0.25f * k, (r(0, 1) + r(1, 0)) / k, (r(0, 2) + r(2, 0)) / k, 0.0f};
  } else if (r(1, 1) > r(2, 2)) {
    const float k = 2.0f * std::sqrt(1.0f + r(1, 1) - r(0, 0) - r(2, 2));
    q.s = (r(0, 2) - r(2, 0)) / k;
    q.u = {(r(0, 1) + r(1, 0)) / k, 0.25f * k, (r(1, 2) + r(2, 1)) / k, 0.0f};
  } else {
    const float k = 2.0f * std::sqrt(1.0f + r(2, 2) - r(0, 0) - r(1, 1));
    q.s = (r(1, 0) - r(0, 1)) / k;
    q.u = {(r(0, 2) + r(2, 0)) / k, (r(1, 2) + r(2, 1)) / k, 0.25f * k, 0.0f};
  }
  return q;
}

Quaternion Quaternion::operator*(const Quaternion& b) const {
  return {s * b.s - Dot3(u, b.u), b.u * s + u * b.s + Cross(u, b.u)};
}

float Quaternion::Length() const { return std::sqrt(s * s + Dot3(u, u)); }

Quaternion Quaternion::Normalized() const {
  const float inv = 1.0f / Length();
  return {s * inv, WithW(u * inv, 0.0f)};
}

Vector Quaternion::Rotate(const Vector& v) const {
  const Vector v3 = WithW(v, 0.0f);
  return u * (2.0f * Dot3(u, v3)) + v3 * (s * s - Dot3(u, u)) + Cross(u, v3) * (2.0f * s);
}

Matrix4 Quaternion::ToMatrix() const {
  const float x = u.x, y = u.y, z = u.z, w = s;
  Matrix4 r;
  r(0, 0) = 1.0f - 2.0f * (y * y + z * z);
  r(0, 1) = 2.0f * (x * y - w * z);
  r(0, 2) = 2.0f * (x * z + w * y);
  r(1, 0) = 2.0f * (x * y + w * z);
  r(1, 1) = 1.0f - 2.0f * (x * x + z * z);
  r(1, 2) = 2.0f * (y * z - w * x);
  r(2, 0) = 2.0f * (x * z - w * y);
  r(2, 1) = 2.0f * (y * z + w * x);
  r(2, 2) = 1.0f - 2.0f * (x * x + y * y);
  return r;
}
