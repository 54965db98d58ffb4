#pragma once
// Matrix4: a 4x4 float matrix in OpenGL's column-major layout: row r, column c
// lives at index 4c + r. Default construction gives the identity. A matrix
// times a Vector uses all four components of the vector.

#include "math/vector.h"

struct Matrix4 {
  float m[16];

  Matrix4();                         // identity
  explicit Matrix4(const float values[16]);  // column-major values

  static Matrix4 Zero();
  // Rotation from Euler angles: heading about y, attitude about z, bank about
  // x, applied as Ry(heading) * Rz(attitude) * Rx(bank). The texture-space
  // matrix of the mesh builders is Rotation(0, 0, -0.1): -0.1 rad about x.
  static Matrix4 Rotation(float heading, float attitude, float bank);
  static Matrix4 Translation(const Vector& t);
  static Matrix4 Scale(float sx, float sy, float sz);
  // The cross-product matrix [v]x, so that [v]x * w = v x w.
  static Matrix4 CrossMatrix(const Vector& v);
  // OpenGL perspective projection (as gluPerspective), fovY in radians.
  static Matrix4 Perspective(float fovY, float aspect, float zNear, float zFar);

  float& operator[](int i) { return m[i]; }
  float operator[](int i) const { return m[i]; }
  float& operator()(int row, int col) { return m[4 * col + row]; }
  float operator()(int row, int col) const { return m[4 * col + row]; }

  Matrix4 operator*(const Matrix4& b) const;
  Vector operator*(const Vector& v) const;
  Matrix4 operator*(float s) const;

  Matrix4 Transpose() const;
  // Inverse of a rotation plus translation: transpose the rotation, rotate
  // the negated translation by it; last row (0, 0, 0, 1).
  Matrix4 RigidInverse() const;
  // General inverse by cofactors; returns the identity when singular.
  Matrix4 Inverse() const;
  // Row i as a Vector: elements i, 4 + i, 8 + i, 12 + i.
  Vector Axis(int i) const;
  void SetAxis(int i, const Vector& row);
  // Column i as a Vector: elements 4i .. 4i + 3.
  Vector Column(int i) const;
  void SetColumn(int i, const Vector& column);
};
