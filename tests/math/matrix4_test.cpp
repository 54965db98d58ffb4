// Matrix4: column-major layout, the Euler rotation, the rigid and general
// inverses and the row/column accessors, against hand-computed values and
// over random rigid and general matrices.

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "math/matrix4.h"
#include "math/quaternion.h"

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectMatrixNear(const Matrix4& expected, const Matrix4& actual, float tolerance) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(expected(r, c), actual(r, c), tolerance) << "row " << r << ", column " << c;
}

void ExpectVectorNear(const Vector& expected, const Vector& actual, float tolerance = 1e-5f) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(expected[i], actual[i], tolerance) << "component " << i;
}

Matrix4 Sequence() {
  float values[16];
  for (int i = 0; i < 16; ++i) values[i] = static_cast<float>(i);
  return Matrix4(values);
}

// Elementary rotations written out by hand (right-handed, column vectors).
Matrix4 RotX(float a) {
  Matrix4 r;
  r(1, 1) = std::cos(a); r(1, 2) = -std::sin(a);
  r(2, 1) = std::sin(a); r(2, 2) = std::cos(a);
  return r;
}
Matrix4 RotY(float a) {
  Matrix4 r;
  r(0, 0) = std::cos(a); r(0, 2) = std::sin(a);
  r(2, 0) = -std::sin(a); r(2, 2) = std::cos(a);
  return r;
}
Matrix4 RotZ(float a) {
  Matrix4 r;
  r(0, 0) = std::cos(a); r(0, 1) = -std::sin(a);
  r(1, 0) = std::sin(a); r(1, 1) = std::cos(a);
  return r;
}

struct RandomMatrices {
  std::mt19937 rng{20110305};
  std::uniform_real_distribution<float> unit{-1.0f, 1.0f};

  Matrix4 Rigid() {
    const Vector axis = Normalize(Vector(unit(rng), unit(rng), unit(rng)) + Vector(0.0f, 0.0f, 1e-3f));
    const Quaternion q = Quaternion::FromAxisAngle(axis, kPi * unit(rng));
    Matrix4 m = q.ToMatrix();
    m(0, 3) = 10.0f * unit(rng);
    m(1, 3) = 10.0f * unit(rng);
    m(2, 3) = 10.0f * unit(rng);
    return m;
  }
  // Diagonally dominant, so comfortably invertible in float.
  Matrix4 General() {
    Matrix4 m;
    for (int i = 0; i < 16; ++i) m.m[i] = unit(rng);
    for (int i = 0; i < 4; ++i) m(i, i) += (unit(rng) < 0.0f ? -5.0f : 5.0f);
    return m;
  }
};

TEST(Matrix4, LayoutIsColumnMajorWithRowAndColumnAccessors) {
  const Matrix4 m = Sequence();
  EXPECT_EQ(6.0f, m(2, 1));   // row 2, column 1 at index 4 * 1 + 2
  EXPECT_EQ(13.0f, m(1, 3));
  EXPECT_EQ(Vector(1.0f, 5.0f, 9.0f, 13.0f), m.Axis(1));
  EXPECT_EQ(Vector(3.0f, 7.0f, 11.0f, 15.0f), m.Axis(3));
  EXPECT_EQ(Vector(4.0f, 5.0f, 6.0f, 7.0f), m.Column(1));

  Matrix4 edited;
  edited.SetAxis(2, Vector(1.0f, 2.0f, 3.0f, 4.0f));
  EXPECT_EQ(Vector(1.0f, 2.0f, 3.0f, 4.0f), edited.Axis(2));
  EXPECT_EQ(3.0f, edited(2, 2));
  edited.SetColumn(0, Vector(7.0f, 8.0f, 9.0f, 10.0f));
  EXPECT_EQ(Vector(7.0f, 8.0f, 9.0f, 10.0f), edited.Column(0));
  EXPECT_EQ(9.0f, edited(2, 0));
}

TEST(Matrix4, DefaultIsIdentityAndZeroIsZero) {
  const Matrix4 identity;
  const Matrix4 zero = Matrix4::Zero();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(r == c ? 1.0f : 0.0f, identity(r, c));
      EXPECT_EQ(0.0f, zero(r, c));
    }
}

TEST(Matrix4, ProductsAgainstHandComputedValues) {
  const Matrix4 a = Sequence();
  const Matrix4 product = a * a;
  // (a*a)(r, c) = sum_k a(r, k) a(k, c) with a(r, k) = 4k + r:
  // (0, 0): 0*0 + 4*1 + 8*2 + 12*3 = 56; (3, 2): 3*8 + 7*9 + 11*10 + 15*11 = 362.
  EXPECT_EQ(56.0f, product(0, 0));
  EXPECT_EQ(362.0f, product(3, 2));

  // A point (w = 1) is translated, a direction (w = 0) is not.
  const Matrix4 move = Matrix4::Translation(Vector(1.0f, 2.0f, 3.0f));
  EXPECT_EQ(Vector(2.0f, 3.0f, 4.0f, 1.0f), move * Vector(1.0f, 1.0f, 1.0f, 1.0f));
  EXPECT_EQ(Vector(1.0f, 1.0f, 1.0f, 0.0f), move * Vector(1.0f, 1.0f, 1.0f, 0.0f));
  // Scale first, then translate.
  EXPECT_EQ(Vector(3.0f, 8.0f, 9.0f, 1.0f),
            (move * Matrix4::Scale(2.0f, 3.0f, 2.0f)) * Vector(1.0f, 2.0f, 3.0f, 1.0f));
  EXPECT_EQ(Vector(0.0f, 2.0f, 4.0f, 6.0f), (a * 0.5f).Column(0) * 4.0f);

  const Matrix4 t = a.Transpose();
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(a(c, r), t(r, c));
}

TEST(Matrix4, ProductIsAssociativeWithVectors) {
  RandomMatrices random;
  for (int i = 0; i < 50; ++i) {
    const Matrix4 a = random.General(), b = random.General();
    const Vector v(random.unit(random.rng), random.unit(random.rng), random.unit(random.rng),
                   random.unit(random.rng));
    ExpectVectorNear((a * b) * v, a * (b * v), 1e-3f);
    ExpectMatrixNear((a * b).Transpose(), b.Transpose() * a.Transpose(), 1e-4f);
  }
}

TEST(Matrix4, EulerRotationIsHeadingAboutYAttitudeAboutZBankAboutX) {
  // The texture-space matrix of the mesh builders: -0.1 rad about x.
  const Matrix4 tilt = Matrix4::Rotation(0.0f, 0.0f, -0.1f);
  const float c = 0.99500417f, s = 0.09983342f;  // cos 0.1, sin 0.1
  float expected[16] = {1, 0, 0, 0,  0, c, -s, 0,  0, s, c, 0,  0, 0, 0, 1};
  ExpectMatrixNear(Matrix4(expected), tilt, 1e-6f);
  ExpectVectorNear(Vector(0.0f, c, -s), tilt * Vector(0.0f, 1.0f, 0.0f));

  // Quarter turns: heading takes x to -z, attitude takes x to y, bank takes y to z.
  ExpectVectorNear(Vector(0.0f, 0.0f, -1.0f), Matrix4::Rotation(kPi / 2, 0.0f, 0.0f) * Vector(1.0f, 0.0f, 0.0f));
  ExpectVectorNear(Vector(0.0f, 1.0f, 0.0f), Matrix4::Rotation(0.0f, kPi / 2, 0.0f) * Vector(1.0f, 0.0f, 0.0f));
  ExpectVectorNear(Vector(0.0f, 0.0f, 1.0f), Matrix4::Rotation(0.0f, 0.0f, kPi / 2) * Vector(0.0f, 1.0f, 0.0f));

  // The three combine as Ry(heading) Rz(attitude) Rx(bank).
  RandomMatrices random;
  for (int i = 0; i < 20; ++i) {
    const float h = kPi * random.unit(random.rng), a = kPi * random.unit(random.rng),
                b = kPi * random.unit(random.rng);
    ExpectMatrixNear(RotY(h) * RotZ(a) * RotX(b), Matrix4::Rotation(h, a, b), 1e-5f);
  }
}

TEST(Matrix4, RigidInverseUndoesRotationPlusTranslation) {
  // Hand case: a quarter turn about z, then a move by (1, 2, 3). The inverse
  // rotates by the transpose and moves by -R^T t = -(2, -1, 3).
  Matrix4 m = RotZ(kPi / 2);
  m(0, 3) = 1.0f; m(1, 3) = 2.0f; m(2, 3) = 3.0f;
  const Matrix4 inv = m.RigidInverse();
  ExpectVectorNear(Vector(-2.0f, 1.0f, -3.0f, 1.0f), inv.Column(3));
  ExpectVectorNear(Vector(0.0f, 0.0f, 0.0f, 1.0f), inv * Vector(1.0f, 2.0f, 3.0f, 1.0f));

  RandomMatrices random;
  for (int i = 0; i < 200; ++i) {
    const Matrix4 rigid = random.Rigid();
    const Matrix4 rigidInverse = rigid.RigidInverse();
    ExpectMatrixNear(Matrix4(), rigidInverse * rigid, 1e-4f);
    ExpectMatrixNear(Matrix4(), rigid * rigidInverse, 1e-4f);
    ExpectMatrixNear(rigid.Inverse(), rigidInverse, 1e-4f);
  }
}

TEST(Matrix4, InverseOfGeneralMatrices) {
  RandomMatrices random;
  for (int i = 0; i < 200; ++i) {
    const Matrix4 m = random.General();
    ExpectMatrixNear(Matrix4(), m * m.Inverse(), 1e-5f);
    ExpectMatrixNear(Matrix4(), m.Inverse() * m, 1e-5f);
  }
  // Hand case: the inverse of a scale and translation.
  const Matrix4 m = Matrix4::Translation(Vector(4.0f, 0.0f, -2.0f)) * Matrix4::Scale(2.0f, 4.0f, 0.5f);
  const Matrix4 expected = Matrix4::Scale(0.5f, 0.25f, 2.0f) * Matrix4::Translation(Vector(-4.0f, 0.0f, 2.0f));
  ExpectMatrixNear(expected, m.Inverse(), 1e-6f);
  // A singular matrix gives the identity rather than infinities.
  ExpectMatrixNear(Matrix4(), Matrix4::Zero().Inverse(), 0.0f);
}

TEST(Matrix4, CrossMatrixTimesVectorIsCrossProduct) {
  RandomMatrices random;
  for (int i = 0; i < 50; ++i) {
    const Vector v(random.unit(random.rng), random.unit(random.rng), random.unit(random.rng));
    const Vector w(random.unit(random.rng), random.unit(random.rng), random.unit(random.rng));
    ExpectVectorNear(Cross(v, w), Matrix4::CrossMatrix(v) * w);
  }
}

TEST(Matrix4, PerspectiveMapsNearAndFarPlanesToTheDepthRange) {
  const float zNear = 0.5f, zFar = 100.0f;
  const Matrix4 p = Matrix4::Perspective(kPi / 2, 2.0f, zNear, zFar);
  const Vector nearPoint = p * Vector(0.0f, 0.0f, -zNear, 1.0f);
  const Vector farPoint = p * Vector(0.0f, 0.0f, -zFar, 1.0f);
  EXPECT_NEAR(-1.0f, nearPoint.z / nearPoint.w, 1e-5f);
  EXPECT_NEAR(1.0f, farPoint.z / farPoint.w, 1e-5f);
  // With a 90 degree vertical field, a point at 45 degrees up lies on the
  // top edge; with aspect 2 a point at x = 2|z| lies on the right edge.
  const Vector top = p * Vector(0.0f, 3.0f, -3.0f, 1.0f);
  const Vector right = p * Vector(6.0f, 0.0f, -3.0f, 1.0f);
  EXPECT_NEAR(1.0f, top.y / top.w, 1e-5f);
  EXPECT_NEAR(1.0f, right.x / right.w, 1e-5f);
}

}  // namespace
