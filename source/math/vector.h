#pragma once
// Vector: four floats x, y, z, w, the engine's one small vector type.
//
// Conventions:
// - Addition, subtraction, negation and scaling act on all four components.
// - Dot, Length and Normalize include w, so directions and mesh points carry
//   w = 0 and homogeneous points are only used with matrices.
// - Cross uses x, y, z and sets w = 0.

#include <cmath>
#include <iosfwd>

struct Vector {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;

  Vector() = default;
  Vector(float x_, float y_, float z_, float w_ = 0.0f) : x(x_), y(y_), z(z_), w(w_) {}

  float& operator[](int i) { return (&x)[i]; }
  float operator[](int i) const { return (&x)[i]; }

  Vector operator+(const Vector& b) const { return {x + b.x, y + b.y, z + b.z, w + b.w}; }
  Vector operator-(const Vector& b) const { return {x - b.x, y - b.y, z - b.z, w - b.w}; }
  Vector operator-() const { return {-x, -y, -z, -w}; }
  Vector operator*(float s) const { return {x * s, y * s, z * s, w * s}; }
  Vector operator/(float s) const { return {x / s, y / s, z / s, w / s}; }
  Vector& operator+=(const Vector& b) { x += b.x; y += b.y; z += b.z; w += b.w; return *this; }
  Vector& operator-=(const Vector& b) { x -= b.x; y -= b.y; z -= b.z; w -= b.w; return *this; }
  Vector& operator*=(float s) { x *= s; y *= s; z *= s; w *= s; return *this; }
  bool operator==(const Vector& b) const { return x == b.x && y == b.y && z == b.z && w == b.w; }
  bool operator!=(const Vector& b) const { return !(*this == b); }
};

inline Vector operator*(float s, const Vector& v) { return v * s; }

// Four-component dot product (w included).
inline float Dot(const Vector& a, const Vector& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}
// Three-component dot product, for callers that must ignore w.
inline float Dot3(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline Vector Cross(const Vector& a, const Vector& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f};
}

// Inline: the contact and sleep code calls them per point and per step.
inline float Length(const Vector& v) { return std::sqrt(Dot(v, v)); }  // includes w
inline Vector Normalize(const Vector& v) { return v / Length(v); }     // unguarded
// Copy with the fourth component replaced.
inline Vector WithW(const Vector& v, float w) { return {v.x, v.y, v.z, w}; }

// Prints each component in fixed notation with 4 decimals and an explicit
// sign, each followed by one blank, then a line feed:
// (1, -2.5, 0, 0) prints "+1.0000 -2.5000 +0.0000 +0.0000 \n".
std::ostream& operator<<(std::ostream& os, const Vector& v);
