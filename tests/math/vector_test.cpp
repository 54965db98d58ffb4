// Vector: w takes part in dot, length and normalisation; cross drops it; the
// printed form is the one the scene's diagnostics rely on.

#include <sstream>

#include <gtest/gtest.h>

#include "math/plane.h"
#include "math/vector.h"

namespace {

void ExpectVectorNear(const Vector& expected, const Vector& actual) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(expected[i], actual[i], 1e-6f) << "component " << i;
}

TEST(Vector, ArithmeticAndIndexActOnAllFourComponents) {
  const Vector a(1.0f, 2.0f, 3.0f, 4.0f), b(10.0f, 20.0f, 30.0f, 40.0f);
  EXPECT_EQ(Vector(11.0f, 22.0f, 33.0f, 44.0f), a + b);
  EXPECT_EQ(Vector(9.0f, 18.0f, 27.0f, 36.0f), b - a);
  EXPECT_EQ(Vector(-1.0f, -2.0f, -3.0f, -4.0f), -a);
  EXPECT_EQ(Vector(2.0f, 4.0f, 6.0f, 8.0f), 2.0f * a);
  EXPECT_EQ(Vector(5.0f, 10.0f, 15.0f, 20.0f), b / 2.0f);
  Vector c = a;
  c += b;
  c -= a;
  c *= 0.5f;
  EXPECT_EQ(Vector(5.0f, 10.0f, 15.0f, 20.0f), c);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(static_cast<float>(i + 1), a[i]);
  EXPECT_EQ(Vector(1.0f, 2.0f, 3.0f, 1.0f), WithW(Vector(1.0f, 2.0f, 3.0f, 0.0f), 1.0f));
}

TEST(Vector, DotLengthNormalizeIncludeWAndCrossSetsWToZero) {
  const Vector a(1.0f, 2.0f, 3.0f, 4.0f), b(5.0f, 6.0f, 7.0f, 8.0f);
  EXPECT_FLOAT_EQ(70.0f, Dot(a, b));   // 5 + 12 + 21 + 32
  EXPECT_FLOAT_EQ(38.0f, Dot3(a, b));  // w ignored
  EXPECT_FLOAT_EQ(5.0f, Length(Vector(0.0f, 3.0f, 0.0f, 4.0f)));
  ExpectVectorNear(Vector(0.0f, 0.6f, 0.0f, 0.8f), Normalize(Vector(0.0f, 3.0f, 0.0f, 4.0f)));
  // (2,3,4) x (6,7,8) = (3*8 - 4*7, 4*6 - 2*8, 2*7 - 3*6); the w of 1 is dropped.
  EXPECT_EQ(Vector(-4.0f, 8.0f, -4.0f, 0.0f), Cross(Vector(2.0f, 3.0f, 4.0f, 1.0f), Vector(6.0f, 7.0f, 8.0f, 1.0f)));
  EXPECT_EQ(Vector(0.0f, 0.0f, -1.0f, 0.0f), Cross(Vector(0.0f, 1.0f, 0.0f, 7.0f), Vector(1.0f, 0.0f, 0.0f, 5.0f)));
}

TEST(Vector, PrintsFourSignedDecimalsWithABlankAfterEach) {
  std::ostringstream out;
  out << Vector(1.0f, -2.5f, 0.0f, 0.0f) << Vector(123.45678f, -0.25f, 10.0f, -1.0f);
  EXPECT_EQ("+1.0000 -2.5000 +0.0000 +0.0000 \n+123.4568 -0.2500 +10.0000 -1.0000 \n", out.str());
}

TEST(Plane, FromPointsGivesUnitNormalAndSignedDistanceIgnoresW) {
  const Vector p0(0.0f, 0.0f, 1.0f), p1(2.0f, 0.0f, 1.0f), p2(0.0f, 3.0f, 1.0f);
  const Plane plane = Plane::FromPoints(p0, p1, p2);
  ExpectVectorNear(Vector(0.0f, 0.0f, 1.0f, 0.0f), plane.normal);
  EXPECT_EQ(p0, plane.point);
  EXPECT_FLOAT_EQ(2.0f, plane.SignedDistance(Vector(5.0f, -7.0f, 3.0f, 1.0f)));
  EXPECT_FLOAT_EQ(-1.5f, plane.SignedDistance(Vector(0.0f, 0.0f, -0.5f, 0.0f)));
  // Swapping two points flips the normal.
  ExpectVectorNear(Vector(0.0f, 0.0f, -1.0f, 0.0f), Plane::FromPoints(p0, p2, p1).normal);

  const Line line{Vector(0.0f, 2.0f, 0.0f), Vector(1.0f, 1.0f, 1.0f, 1.0f)};
  EXPECT_EQ(Vector(1.0f, 4.0f, 1.0f, 1.0f), line.PointAt(1.5f));
}

}  // namespace
