#include "math/matrix4.h"

#include <cmath>
#include <cstring>

Matrix4::Matrix4() {
  std::memset(m, 0, sizeof m);
  m[0] = m[5] = m[10] = m[15] = 1.0f;
}

Matrix4::Matrix4(const float values[16]) { std::memcpy(m, values, sizeof m); }

Matrix4 Matrix4::Zero() {
  Matrix4 r;
  std::memset(r.m, 0, sizeof r.m);
  return r;
}

Matrix4 Matrix4::Rotation(float heading, float attitude, float bank) {
  const float ch = std::cos(heading), sh = std::sin(heading);
  const float ca = std::cos(attitude), sa = std::sin(attitude);
  const float cb = std::cos(bank), sb = std::sin(bank);
  Matrix4 r;
  r(0, 0) = ch * ca;
  r(0, 1) = sh * sb - ch * sa * cb;
  r(0, 2) = ch * sa * sb + sh * cb;
  r(1, 0) = sa;
  r(1, 1) = ca * cb;
  r(1, 2) = -ca * sb;
  r(2, 0) = -sh * ca;
  r(2, 1) = sh * sa * cb + ch * sb;
  r(2, 2) = -sh * sa * sb + ch * cb;
  return r;
}

Matrix4 Matrix4::Translation(const Vector& t) {
  Matrix4 r;
  r(0, 3) = t.x;
  r(1, 3) = t.y;
  r(2, 3) = t.z;
  return r;
}

Matrix4 Matrix4::Scale(float sx, float sy, float sz) {
  Matrix4 r;
  r(0, 0) = sx;
  r(1, 1) = sy;
  r(2, 2) = sz;
  return r;
}

Matrix4 Matrix4::CrossMatrix(const Vector& v) {
  Matrix4 r = Zero();
  r(0, 1) = -v.z;
  r(0, 2) = v.y;
  r(1, 0) = v.z;
  r(1, 2) = -v.x;
  r(2, 0) = -v.y;
  r(2, 1) = v.x;
  return r;
}

Matrix4 Matrix4::Perspective(float fovY, float aspect, float zNear, float zFar) {
  const float f = 1.0f / std::tan(fovY * 0.5f);
  Matrix4 r = Zero();
  r(0, 0) = f / aspect;
  r(1, 1) = f;
  r(2, 2) = (zFar + zNear) / (zNear - zFar);
  r(2, 3) = 2.0f * zFar * zNear / (zNear - zFar);
  r(3, 2) = -1.0f;
  return r;
}

Matrix4 Matrix4::operator*(const Matrix4& b) const {
  Matrix4 r = Zero();
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += (*this)(row, k) * b(k, c);
      r(row, c) = sum;
    }
  return r;
}

Vector Matrix4::operator*(const Vector& v) const {
  return {m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w,
          m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
          m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w,
          m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w};
}

Matrix4 Matrix4::operator*(float s) const {
  Matrix4 r;
  for (int i = 0; i < 16; ++i) r.m[i] = m[i] * s;
  return r;
}

Matrix4 Matrix4::Transpose() const {
  Matrix4 r;
  for (int row = 0; row < 4; ++row)
    for (int c = 0; c < 4; ++c) r(row, c) = (*this)(c, row);
  return r;
}

Matrix4 Matrix4::RigidInverse() const {
  Matrix4 r;
  for (int row = 0; row < 3; ++row)
    for (int c = 0; c < 3; ++c) r(row, c) = (*this)(c, row);
  const Vector t(m[12], m[13], m[14], 0.0f);
  for (int row = 0; row < 3; ++row)
    r(row, 3) = -(r(row, 0) * t.x + r(row, 1) * t.y + r(row, 2) * t.z);
  r(3, 0) = r(3, 1) = r(3, 2) = 0.0f;
  r(3, 3) = 1.0f;
  return r;
}

Matrix4 Matrix4::Inverse() const {
  const float* a = m;
  float inv[16];
  inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] +
           a[9] * a[7] * a[14] + a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
  inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] -
           a[8] * a[7] * a[14] - a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
  inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] +
           a[8] * a[7] * a[13] + a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
  inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] -
            a[8] * a[6] * a[13] - a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
  inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] -
           a[9] * a[3] * a[14] - a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
  inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] +
           a[8] * a[3] * a[14] + a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
  inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] -
           a[8] * a[3] * a[13] - a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
  inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] +
            a[8] * a[2] * a[13] + a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
  inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] +
           a[5] * a[3] * a[14] + a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
  inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] -
           a[4] * a[3] * a[14] - a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
  inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] +
            a[4] * a[3] * a[13] + a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
  inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] -
            a[4] * a[2] * a[13] - a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
  inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] -
           a[5] * a[3] * a[10] - a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
  inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] +
           a[4] * a[3] * a[10] + a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
  inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] -
            a[4] * a[3] * a[9] - a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
  inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] +
            a[4] * a[2] * a[9] + a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
  const float det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
  if (det == 0.0f) return Matrix4();
  Matrix4 r(inv);
  return r * (1.0f / det);
}

Vector Matrix4::Axis(int i) const { return {m[i], m[4 + i], m[8 + i], m[12 + i]}; }

void Matrix4::SetAxis(int i, const Vector& row) {
  m[i] = row.x;
  m[4 + i] = row.y;
  m[8 + i] = row.z;
  m[12 + i] = row.w;
}

Vector Matrix4::Column(int i) const { return {m[4 * i], m[4 * i + 1], m[4 * i + 2], m[4 * i + 3]}; }

void Matrix4::SetColumn(int i, const Vector& column) {
  m[4 * i] = column.x;
  m[4 * i + 1] = column.y;
  m[4 * i + 2] = column.z;
  m[4 * i + 3] = column.w;
}
