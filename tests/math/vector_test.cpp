// Vector: w takes part in dot, length and normalisation; cross drops it; the
// printed form is the one the scene's diagnostics rely on.

#include <sstream>

#include <gtest/gtest.h>

#include "math/plane.h"
#include "math/vector.h"

namespace {

void ExpectVectorNear(const Vector& expected, const Vector& actual, float tolerance = 1e-6f) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(expected[i], actual[i], tolerance) << "component " << i;
}

TEST(Vector, ArithmeticActsOnAllFourComponents) {
  const Vector a(1.0f, 2.0f, 3.0f, 4.0f);
  const Vector b(10.0f, 20.0f, 30.0f, 40.0f);
  EXPECT_EQ(Vector(11.0f, 22.0f, 33.0f, 44.0f), a + b);
  EXPECT_EQ(Vector(9.0f, 18.0f, 27.0f, 36.0f), b - a);
  EXPECT_EQ(Vector(-1.0f, -2.0f, -3.0f, -4.0f), -a);
  EXPECT_EQ(Vector(2.0f, 4.0f, 6.0f, 8.0f), a * 2.0f);
  EXPECT_EQ(Vector(2.0f, 4.0f, 6.0f, 8.0f), 2.0f * a);
  EXPECT_EQ(Vector(5.0f, 10.0f, 15.0f, 20.0f), b / 2.0f);

  Vector c = a;
  c += b;
  c -= a;
  c *= 0.5f;
  EXPECT_EQ(Vector(5.0f, 10.0f, 15.0f, 20.0f), c);
}

TEST(Vector, IndexGivesComponentsInOrder) {
  Vector v(1.0f, 2.0f, 3.0f, 4.0f);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(static_cast<float>(i + 1), v[i]);
  v[3] = 9.0f;
  EXPECT_EQ(9.0f, v.w);
  EXPECT_EQ(0.0f, Vector().w) << "a default vector is zero, w included";
}

TEST(Vector, DotLengthAndNormalizeIncludeW) {
  const Vector a(1.0f, 2.0f, 3.0f, 4.0f);
  const Vector b(5.0f, 6.0f, 7.0f, 8.0f);
  EXPECT_FLOAT_EQ(70.0f, Dot(a, b));   // 5 + 12 + 21 + 32
  EXPECT_FLOAT_EQ(38.0f, Dot3(a, b));  // w ignored
  EXPECT_FLOAT_EQ(5.0f, Length(Vector(0.0f, 3.0f, 0.0f, 4.0f)));
  ExpectVectorNear(Vector(0.0f, 0.0f, 0.0f, 1.0f), Normalize(Vector(0.0f, 0.0f, 0.0f, 2.0f)));
  ExpectVectorNear(Vector(0.0f, 0.6f, 0.0f, 0.8f), Normalize(Vector(0.0f, 3.0f, 0.0f, 4.0f)));
}

TEST(Vector, CrossUsesXyzAndSetsWToZero) {
  const Vector x(1.0f, 0.0f, 0.0f, 5.0f);
  const Vector y(0.0f, 1.0f, 0.0f, 7.0f);
  EXPECT_EQ(Vector(0.0f, 0.0f, 1.0f, 0.0f), Cross(x, y));
  EXPECT_EQ(Vector(0.0f, 0.0f, -1.0f, 0.0f), Cross(y, x));
  // (2,3,4) x (6,7,8) = (3*8 - 4*7, 4*6 - 2*8, 2*7 - 3*6)
  EXPECT_EQ(Vector(-4.0f, 8.0f, -4.0f, 0.0f),
            Cross(Vector(2.0f, 3.0f, 4.0f, 1.0f), Vector(6.0f, 7.0f, 8.0f, 1.0f)));
}

TEST(Vector, WithWReplacesOnlyTheFourthComponent) {
  EXPECT_EQ(Vector(1.0f, 2.0f, 3.0f, 1.0f), WithW(Vector(1.0f, 2.0f, 3.0f, 0.0f), 1.0f));
}

TEST(Vector, PrintsFourSignedDecimalsWithABlankAfterEach) {
  std::ostringstream out;
  out << Vector(1.0f, -2.5f, 0.0f, 0.0f);
  EXPECT_EQ("+1.0000 -2.5000 +0.0000 +0.0000 \n", out.str());

  std::ostringstream rounded;
  rounded << Vector(123.45678f, -0.25f, 10.0f, -1.0f);
  EXPECT_EQ("+123.4568 -0.2500 +10.0000 -1.0000 \n", rounded.str());
}

TEST(Plane, FromPointsGivesUnitNormalAndSignedDistanceIgnoresW) {
  const Plane plane = Plane::FromPoints(Vector(0.0f, 0.0f, 1.0f), Vector(2.0f, 0.0f, 1.0f),
                                        Vector(0.0f, 3.0f, 1.0f));
  ExpectVectorNear(Vector(0.0f, 0.0f, 1.0f, 0.0f), plane.normal);
  EXPECT_EQ(Vector(0.0f, 0.0f, 1.0f), plane.point);
  EXPECT_FLOAT_EQ(2.0f, plane.SignedDistance(Vector(5.0f, -7.0f, 3.0f, 1.0f)));
  EXPECT_FLOAT_EQ(-1.5f, plane.SignedDistance(Vector(0.0f, 0.0f, -0.5f, 0.0f)));
  EXPECT_FLOAT_EQ(0.0f, plane.SignedDistance(Vector(9.0f, 9.0f, 1.0f, 1.0f)));

  // Swapping two points flips the normal.
  const Plane flipped = Plane::FromPoints(Vector(0.0f, 0.0f, 1.0f), Vector(0.0f, 3.0f, 1.0f),
                                          Vector(2.0f, 0.0f, 1.0f));
  ExpectVectorNear(Vector(0.0f, 0.0f, -1.0f, 0.0f), flipped.normal);
}

TEST(Line, PointAtWalksAlongTheDirection) {
  const Line line{Vector(0.0f, 2.0f, 0.0f), Vector(1.0f, 1.0f, 1.0f, 1.0f)};
  EXPECT_EQ(Vector(1.0f, 1.0f, 1.0f, 1.0f), line.PointAt(0.0f));
  EXPECT_EQ(Vector(1.0f, 4.0f, 1.0f, 1.0f), line.PointAt(1.5f));
}

}  // namespace
