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
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(expected.m[i], actual.m[i], tolerance) << "element " << i;
}

void ExpectVectorNear(const Vector& expected, const Vector& actual) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(expected[i], actual[i], 1e-5f) << "component " << i;
}

TEST(Matrix4, LayoutAccessorsAndProductsAgainstHandValues) {
  float values[16];
  for (int i = 0; i < 16; ++i) values[i] = static_cast<float>(i);
  const Matrix4 a(values);
  EXPECT_EQ(6.0f, a(2, 1));  // row 2, column 1 at index 4 * 1 + 2
  EXPECT_EQ(Vector(1.0f, 5.0f, 9.0f, 13.0f), a.Axis(1));
  EXPECT_EQ(Vector(4.0f, 5.0f, 6.0f, 7.0f), a.Column(1));
  Matrix4 edited;
  edited.SetAxis(2, Vector(1.0f, 2.0f, 3.0f, 4.0f));
  EXPECT_EQ(4.0f, edited(2, 3));

  // (a*a)(r, c) = sum_k a(r, k) a(k, c) with a(r, k) = 4k + r:
  // (0, 0): 0*0 + 4*1 + 8*2 + 12*3 = 56; (3, 2): 3*8 + 7*9 + 11*10 + 15*11 = 362.
  EXPECT_EQ(56.0f, (a * a)(0, 0));
  EXPECT_EQ(362.0f, (a * a)(3, 2));
  EXPECT_EQ(Vector(0.0f, 2.0f, 4.0f, 6.0f), (a * 0.5f).Column(0) * 4.0f);
  EXPECT_EQ(a.Axis(3), a.Transpose().Column(3));
  // A point (w = 1) is translated, a direction (w = 0) is not; scale goes first.
  const Matrix4 move = Matrix4::Translation(Vector(1.0f, 2.0f, 3.0f));
  EXPECT_EQ(Vector(2.0f, 3.0f, 4.0f, 1.0f), move * Vector(1.0f, 1.0f, 1.0f, 1.0f));
  EXPECT_EQ(Vector(1.0f, 1.0f, 1.0f, 0.0f), move * Vector(1.0f, 1.0f, 1.0f, 0.0f));
  EXPECT_EQ(Vector(3.0f, 8.0f, 9.0f, 1.0f), (move * Matrix4::Scale(2.0f, 3.0f, 2.0f)) * Vector(1.0f, 2.0f, 3.0f, 1.0f));
}

TEST(Matrix4, EulerRotationIsHeadingAboutYAttitudeAboutZBankAboutX) {
  // The texture-space matrix of the mesh builders: -0.1 rad about x.
  const float c = 0.99500417f, s = 0.09983342f;  // cos 0.1, sin 0.1
  const float expected[16] = {1, 0, 0, 0, 0, c, -s, 0, 0, s, c, 0, 0, 0, 0, 1};
  ExpectMatrixNear(Matrix4(expected), Matrix4::Rotation(0.0f, 0.0f, -0.1f), 1e-6f);
  // Quarter turns: heading takes x to -z, attitude takes x to y, bank takes y to z.
  ExpectVectorNear(Vector(0.0f, 0.0f, -1.0f), Matrix4::Rotation(kPi / 2, 0.0f, 0.0f) * Vector(1.0f, 0.0f, 0.0f));
  ExpectVectorNear(Vector(0.0f, 1.0f, 0.0f), Matrix4::Rotation(0.0f, kPi / 2, 0.0f) * Vector(1.0f, 0.0f, 0.0f));
  ExpectVectorNear(Vector(0.0f, 0.0f, 1.0f), Matrix4::Rotation(0.0f, 0.0f, kPi / 2) * Vector(0.0f, 1.0f, 0.0f));
  // The three combine as Ry(heading) Rz(attitude) Rx(bank).
  std::mt19937 rng(20110305);
  std::uniform_real_distribution<float> angle(-kPi, kPi);
  auto about = [](float x, float y, float z, float a) {
    return Quaternion::FromAxisAngle(Vector(x, y, z), a).ToMatrix();
  };
  for (int i = 0; i < 20; ++i) {
    const float h = angle(rng), at = angle(rng), b = angle(rng);
    ExpectMatrixNear(about(0, 1, 0, h) * about(0, 0, 1, at) * about(1, 0, 0, b), Matrix4::Rotation(h, at, b), 1e-5f);
  }
}

TEST(Matrix4, RigidAndGeneralInversesUndoTheirMatrices) {
  // Hand cases: a quarter turn about z, then a move by (1, 2, 3), is undone by
  // rotating by the transpose and moving by -R^T t = -(2, -1, 3); a scale and
  // translation by the reverse scale and translation.
  Matrix4 turn = Matrix4::Rotation(0.0f, kPi / 2, 0.0f);
  turn.SetColumn(3, Vector(1.0f, 2.0f, 3.0f, 1.0f));
  ExpectVectorNear(Vector(-2.0f, 1.0f, -3.0f, 1.0f), turn.RigidInverse().Column(3));
  const Matrix4 m = Matrix4::Translation(Vector(4.0f, 0.0f, -2.0f)) * Matrix4::Scale(2.0f, 4.0f, 0.5f);
  const Matrix4 undo = Matrix4::Scale(0.5f, 0.25f, 2.0f) * Matrix4::Translation(Vector(-4.0f, 0.0f, 2.0f));
  ExpectMatrixNear(undo, m.Inverse(), 1e-6f);
  // A singular matrix gives the identity rather than infinities.
  ExpectMatrixNear(Matrix4(), Matrix4::Zero().Inverse(), 0.0f);

  std::mt19937 rng(20110305);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int i = 0; i < 200; ++i) {
    const Vector axis = Normalize(Vector(unit(rng), unit(rng), unit(rng)) + Vector(0.0f, 0.0f, 1e-3f));
    Matrix4 rigid = Quaternion::FromAxisAngle(axis, kPi * unit(rng)).ToMatrix();
    rigid.SetColumn(3, Vector(10.0f * unit(rng), 10.0f * unit(rng), 10.0f * unit(rng), 1.0f));
    ExpectMatrixNear(Matrix4(), rigid.RigidInverse() * rigid, 1e-4f);
    ExpectMatrixNear(rigid.Inverse(), rigid.RigidInverse(), 1e-4f);
    // Diagonally dominant, so comfortably invertible in float.
    Matrix4 general;
    for (int k = 0; k < 16; ++k) general.m[k] = unit(rng) + (k % 5 == 0 ? 5.0f : 0.0f);
    ExpectMatrixNear(Matrix4(), general * general.Inverse(), 1e-5f);
    ExpectMatrixNear(Matrix4(), general.Inverse() * general, 1e-5f);
    ExpectMatrixNear((rigid * general).Transpose(), general.Transpose() * rigid.Transpose(), 1e-4f);
    const Vector v(unit(rng), unit(rng), unit(rng)), w(unit(rng), unit(rng), unit(rng));
    ExpectVectorNear(Cross(v, w), Matrix4::CrossMatrix(v) * w);
  }
}

TEST(Matrix4, PerspectiveMapsTheFrustumToTheClipCube) {
  const float zNear = 0.5f, zFar = 100.0f;
  const Matrix4 p = Matrix4::Perspective(kPi / 2, 2.0f, zNear, zFar);
  const Vector nearPoint = p * Vector(0.0f, 0.0f, -zNear, 1.0f), farPoint = p * Vector(0.0f, 0.0f, -zFar, 1.0f);
  EXPECT_NEAR(-1.0f, nearPoint.z / nearPoint.w, 1e-5f);
  EXPECT_NEAR(1.0f, farPoint.z / farPoint.w, 1e-5f);
  // A 90 degree vertical field puts (0, 3, -3) on the top edge; aspect 2 puts (6, 0, -3) on the right.
  const Vector top = p * Vector(0.0f, 3.0f, -3.0f, 1.0f), right = p * Vector(6.0f, 0.0f, -3.0f, 1.0f);
  EXPECT_NEAR(1.0f, top.y / top.w, 1e-5f);
  EXPECT_NEAR(1.0f, right.x / right.w, 1e-5f);
}

}  // namespace
