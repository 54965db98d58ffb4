// The math types over random values against plain double arithmetic:
// Matrix4 layout, products, transposes and both inverses, the Euler
// rotation and the perspective; Quaternion against Rodrigues' formula and
// its matrix; Vector (w counts in dot and length, not in cross) and Plane.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "math/matrix4.h"
#include "math/plane.h"
#include "math/quaternion.h"

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectNear(const Matrix4& expected, const Matrix4& actual, float tolerance) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(expected.m[i], actual.m[i], tolerance) << "element " << i;
}

TEST(Matrix4, ProductsTransposesAndInversesAgainstPlainArithmetic) {
  std::mt19937 rng(20110305);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int n = 0; n < 200; ++n) {
    Matrix4 a, b;  // a diagonally dominant, so comfortably invertible in float
    for (int k = 0; k < 16; ++k) a.m[k] = unit(rng) + (k % 5 == 0 ? 5.0f : 0.0f), b.m[k] = unit(rng);
    const Vector v(unit(rng), unit(rng), unit(rng), unit(rng));
    // Row r, column c at index 4c + r; (ab)(r, c) = sum_k a(r, k) b(k, c).
    for (int r = 0; r < 4; ++r) {
      double product = 0.0;
      for (int c = 0; c < 4; ++c) {
        double sum = 0.0;
        for (int k = 0; k < 4; ++k) sum += double(a.m[4 * k + r]) * b.m[4 * c + k];
        EXPECT_NEAR((a * b)(r, c), sum, 1e-5);
        EXPECT_TRUE(a(r, c) == a.m[4 * c + r] && a.Axis(r)[c] == a(r, c) && a.Column(c)[r] == a(r, c));
        EXPECT_EQ(a.Transpose()(r, c), a(c, r));
        product += double(a(r, c)) * v[c];
      }
      EXPECT_NEAR((a * v)[r], product, 1e-5);
    }
    ExpectNear(Matrix4(), a * a.Inverse(), 1e-5f);
    const Vector cross = Matrix4::CrossMatrix(v) * b.Column(0);
    EXPECT_NEAR(cross.x, double(v.y) * b(2, 0) - double(v.z) * b(1, 0), 1e-6);
    // A rotation plus translation, and its rigid inverse.
    Matrix4 rigid = Quaternion::FromAxisAngle(Normalize(Vector(unit(rng), unit(rng), 1.0f)), kPi * unit(rng)).ToMatrix();
    rigid.SetColumn(3, Vector(10.0f * unit(rng), 10.0f * unit(rng), 10.0f * unit(rng), 1.0f));
    ExpectNear(Matrix4(), rigid.RigidInverse() * rigid, 1e-4f);
  }
  // A singular matrix gives the identity rather than infinities; scale goes before translation.
  ExpectNear(Matrix4(), Matrix4::Zero().Inverse(), 0.0f);
  EXPECT_EQ(Vector(3.0f, 8.0f, 9.0f, 1.0f),
            Matrix4::Translation(Vector(1, 2, 3)) * Matrix4::Scale(2, 3, 2) * Vector(1.0f, 2.0f, 3.0f, 1.0f));
}

TEST(Matrix4, EulerRotationAndPerspective) {
  // Ry(heading) Rz(attitude) Rx(bank): a quarter heading takes x to -z.
  EXPECT_NEAR((Matrix4::Rotation(kPi / 2, 0, 0) * Vector(1, 0, 0)).z, -1.0f, 1e-6f);
  std::mt19937 rng(20110305);
  std::uniform_real_distribution<float> angle(-kPi, kPi);
  auto about = [](float x, float y, float z, float a) { return Quaternion::FromAxisAngle(Vector(x, y, z), a).ToMatrix(); };
  for (int i = 0; i < 20; ++i) {
    const float h = angle(rng), at = angle(rng), b = angle(rng);
    ExpectNear(about(0, 1, 0, h) * about(0, 0, 1, at) * about(1, 0, 0, b), Matrix4::Rotation(h, at, b), 1e-5f);
  }
  // A 90 degree vertical field, aspect 2: the near and far planes go to -1
  // and 1, (0, 3, -3) to the top edge, (6, 0, -3) to the right edge.
  const Matrix4 p = Matrix4::Perspective(kPi / 2, 2.0f, 0.5f, 100.0f);
  const Vector corners[4] = {p * Vector(0, 0, -0.5f, 1), p * Vector(0, 0, -100, 1), p * Vector(0, 3, -3, 1),
                             p * Vector(6, 0, -3, 1)};
  const float ndc[4] = {corners[0].z / corners[0].w, corners[1].z / corners[1].w, corners[2].y / corners[2].w,
                        corners[3].x / corners[3].w};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(ndc[i], i == 0 ? -1.0f : 1.0f, 1e-5f) << i;
}

// q and -q are the same rotation.
void ExpectSameRotation(const Quaternion& expected, const Quaternion& actual) {
  const float sign = (expected.s * actual.s + Dot3(expected.u, actual.u)) < 0.0f ? -1.0f : 1.0f;
  EXPECT_NEAR(expected.s, sign * actual.s, 1e-5f);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(expected.u[k], sign * actual.u[k], 1e-5f);
}

TEST(Quaternion, RotationsAgreeWithRodriguesTheirMatrixAndTheProduct) {
  std::mt19937 rng(1303);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int n = 0; n < 500; ++n) {
    const Vector k = Normalize(Vector(unit(rng), unit(rng), unit(rng)) + Vector(0.0f, 1e-3f, 0.0f));
    const float angle = kPi * unit(rng);
    const Quaternion q = Quaternion::FromAxisAngle(k, angle);
    const Quaternion p = Quaternion::FromAxisAngle(Normalize(Vector(unit(rng), 1.0f, unit(rng))), unit(rng));
    const Vector v(unit(rng), unit(rng), unit(rng), float(n % 2));  // a point's w does not leak
    // Rodrigues: v cos a + (k x v) sin a + k (k . v)(1 - cos a).
    const double c = std::cos(double(angle)), s = std::sin(double(angle));
    const double kv = double(k.x) * v.x + double(k.y) * v.y + double(k.z) * v.z;
    const double kxv[3] = {double(k.y) * v.z - double(k.z) * v.y, double(k.z) * v.x - double(k.x) * v.z,
                           double(k.x) * v.y - double(k.y) * v.x};
    const Vector rotated = q.Rotate(v), viaMatrix = q.ToMatrix() * WithW(v, 0.0f), composed = (q * p).Rotate(v);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(rotated[i], v[i] * c + kxv[i] * s + k[i] * kv * (1 - c), 1e-5);
      EXPECT_NEAR(viaMatrix[i], rotated[i], 1e-5);
      EXPECT_NEAR(composed[i], q.Rotate(p.Rotate(v))[i], 1e-5);
    }
    EXPECT_EQ(rotated.w + viaMatrix.w, 0.0f);
    ExpectSameRotation(q, Quaternion::FromMatrix(q.ToMatrix()));
    ExpectSameRotation(q, (q * 3.0f).Normalized());
  }
  // Half turns have trace -1, which takes each of the non-trace branches.
  for (const Vector& axis : {Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1), Normalize(Vector(1, 1, 0))})
    for (float angle : {kPi, -0.99f * kPi}) {
      const Quaternion q = Quaternion::FromAxisAngle(axis, angle);
      ExpectSameRotation(q, Quaternion::FromMatrix(q.ToMatrix()));
    }
}

TEST(Vector, WCountsInDotAndLengthNotInCrossAndThePrintedForm) {
  const Vector a(1.0f, 2.0f, 3.0f, 4.0f), b(5.0f, 6.0f, 7.0f, 8.0f);
  EXPECT_TRUE(Dot(a, b) == 70.0f && Dot3(a, b) == 38.0f && Normalize(Vector(0, 3, 0, 4)).w == 0.8f);
  EXPECT_FLOAT_EQ(std::sqrt(30.0f), Length(a));
  EXPECT_EQ(Vector(-4.0f, 8.0f, -4.0f, 0.0f), Cross(a, b));  // (2*7 - 3*6, 3*5 - 1*7, 1*6 - 2*5)
  std::ostringstream out;
  out << Vector(1.0f, -2.5f, 0.0f, 0.0f) << Vector(123.45678f, -0.25f, 10.0f, -1.0f);
  EXPECT_EQ("+1.0000 -2.5000 +0.0000 +0.0000 \n+123.4568 -0.2500 +10.0000 -1.0000 \n", out.str());
  const Plane plane = Plane::FromPoints(Vector(0, 0, 1), Vector(2, 0, 1), Vector(0, 3, 1));
  EXPECT_EQ(Vector(0.0f, 0.0f, 1.0f), plane.normal);
  EXPECT_FLOAT_EQ(2.0f, plane.SignedDistance(Vector(5.0f, -7.0f, 3.0f, 1.0f)));
}

}  // namespace
