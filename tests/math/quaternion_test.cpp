// Quaternion: the Hamilton product against hand-computed values, and the
// three views of one rotation (the rotation formula, ToMatrix, FromMatrix)
// agreeing over random rotations and every branch of FromMatrix.

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "math/quaternion.h"

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectVectorNear(const Vector& expected, const Vector& actual) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(expected[i], actual[i], 1e-5f) << "component " << i;
}

// q and -q are the same rotation.
void ExpectSameRotation(const Quaternion& expected, const Quaternion& actual) {
  const float sign = (expected.s * actual.s + Dot3(expected.u, actual.u)) < 0.0f ? -1.0f : 1.0f;
  EXPECT_NEAR(expected.s, sign * actual.s, 1e-5f);
  ExpectVectorNear(expected.u, actual.u * sign);
}

TEST(Quaternion, HamiltonProductAndComponentwiseArithmetic) {
  // (1 + 2i + 3j + 4k)(5 + 6i + 7j + 8k): s = 5 - (12 + 21 + 32);
  // u = (6,7,8) + 5 (2,3,4) +- (2,3,4) x (6,7,8), the sign flipping with the order.
  const Quaternion a(1.0f, Vector(2.0f, 3.0f, 4.0f)), b(5.0f, Vector(6.0f, 7.0f, 8.0f));
  EXPECT_EQ(Quaternion(-60.0f, Vector(12.0f, 30.0f, 24.0f)), a * b);
  EXPECT_EQ(Quaternion(-60.0f, Vector(20.0f, 14.0f, 32.0f)), b * a);
  EXPECT_EQ(Quaternion(6.0f, Vector(8.0f, 10.0f, 12.0f)), a + b);
  EXPECT_EQ(Quaternion(4.0f, Vector(4.0f, 4.0f, 4.0f)), b - a);
  EXPECT_EQ(Quaternion(2.0f, Vector(4.0f, 6.0f, 8.0f)), a * 2.0f);
  EXPECT_FLOAT_EQ(std::sqrt(30.0f), a.Length());
  EXPECT_NEAR(1.0f, b.Normalized().Length(), 1e-6f);
  EXPECT_EQ(Quaternion(1.0f, Vector()), Quaternion(2.0f, Vector()).Normalized());
  EXPECT_EQ(Quaternion(30.0f, Vector()), a * a.Conjugate());  // q q* = |q|^2
}

TEST(Quaternion, RotationFormulaOnHandCases) {
  const Quaternion quarterZ = Quaternion::FromAxisAngle(Vector(0.0f, 0.0f, 1.0f), kPi / 2);
  EXPECT_NEAR(std::sqrt(0.5f), quarterZ.s, 1e-6f);
  ExpectVectorNear(Vector(-1.0f, 0.0f, 5.0f), quarterZ.Rotate(Vector(0.0f, 1.0f, 5.0f)));
  // A third of a turn about (1,1,1) cycles the axes x -> y -> z; a point's w does not leak.
  const Quaternion third = Quaternion::FromAxisAngle(Normalize(Vector(1.0f, 1.0f, 1.0f)), 2 * kPi / 3);
  ExpectVectorNear(Vector(0.0f, 1.0f, 0.0f), third.Rotate(Vector(1.0f, 0.0f, 0.0f)));
  ExpectVectorNear(Vector(0.0f, 0.0f, 1.0f), third.Rotate(Vector(0.0f, 1.0f, 0.0f, 1.0f)));
}

TEST(Quaternion, FormulaMatrixAndFromMatrixAgree) {
  std::mt19937 rng(1303);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int n = 0; n < 500; ++n) {
    const Vector axis = Normalize(Vector(unit(rng), unit(rng), unit(rng)) + Vector(0.0f, 1e-3f, 0.0f));
    const Quaternion q = Quaternion::FromAxisAngle(axis, kPi * unit(rng));
    const Vector v(unit(rng), unit(rng), unit(rng));
    const Matrix4 m = q.ToMatrix();
    ExpectVectorNear(q.Rotate(v), m * v);
    EXPECT_EQ(Vector(0.0f, 0.0f, 0.0f, 1.0f), m.Column(3));
    // Rotating by p then q is rotating by q p.
    const Quaternion p = Quaternion::FromAxisAngle(Normalize(Vector(unit(rng), 1.0f, unit(rng))), unit(rng));
    ExpectVectorNear(q.Rotate(p.Rotate(v)), (q * p).Rotate(v));
    ExpectSameRotation(q, Quaternion::FromMatrix(m));
  }
  // Half turns have trace -1, which takes each of the non-trace branches.
  for (const Vector& axis : {Vector(1.0f, 0.0f, 0.0f), Vector(0.0f, 1.0f, 0.0f), Vector(0.0f, 0.0f, 1.0f),
                             Normalize(Vector(1.0f, 1.0f, 0.0f)), Normalize(Vector(0.0f, 1.0f, 1.0f))})
    for (float angle : {kPi, 0.97f * kPi, -0.99f * kPi}) {
      const Quaternion q = Quaternion::FromAxisAngle(axis, angle);
      ExpectSameRotation(q, Quaternion::FromMatrix(q.ToMatrix()));
    }
  ExpectSameRotation(Quaternion(), Quaternion::FromMatrix(Matrix4()));
}

}  // namespace
