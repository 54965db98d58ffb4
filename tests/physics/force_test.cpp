// Gravity and springs on bodies registered in a BodyIndexMap.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "physics/body_index_map.h"
#include "physics/force.h"
#include "physics/rigid_body.h"

namespace {

struct TwoBodies {
  std::vector<RigidBody> bodies{2};
  BodyIndexMap map;
  TwoBodies(const Vector& a, const Vector& b) {
    map.Add(7);
    map.Add(9);
    bodies[0].position = a;
    bodies[1].position = b;
  }
};

}  // namespace

TEST(GravityForce, ForceIsDirectionTimesGTimesMassAndSkipsMissingBodies) {
  TwoBodies two(Vector(), Vector(1, 0, 0));
  two.bodies[0].mass = 3.0f;
  GravityForce(7).Apply(two.bodies, two.map, 0.0);
  EXPECT_FLOAT_EQ(two.bodies[0].force.y, -9.8f * 3.0f);
  // The direction is not normalised.
  GravityForce(9, 2.0f, Vector(0, 0, 2)).Apply(two.bodies, two.map, 0.0);
  EXPECT_FLOAT_EQ(two.bodies[1].force.z, 2.0f * 2.0f * 1.0f);
  // An object without a body: nothing happens.
  GravityForce(42).Apply(two.bodies, two.map, 0.0);
  EXPECT_FLOAT_EQ(two.bodies[0].force.y, -9.8f * 3.0f);
  EXPECT_EQ(two.bodies[0].torque, Vector());
}

TEST(SpringForce, SignsFollowStretchAndCompression) {
  struct Case {
    float restLength;
    float expectedOnA;  // x force on A (B lies at +x from A)
  };
  // Distance 2, k = 5: stretched pulls A towards +x, compressed pushes it away.
  for (const Case c : {Case{1.0f, 5.0f}, Case{3.0f, -5.0f}, Case{2.0f, 0.0f}}) {
    TwoBodies two(Vector(0, 0, 0), Vector(2, 0, 0));
    SpringForce(7, 9, c.restLength, 5.0f).Apply(two.bodies, two.map, 0.0);
    EXPECT_FLOAT_EQ(two.bodies[0].force.x, c.expectedOnA);
    EXPECT_FLOAT_EQ(two.bodies[1].force.x, -c.expectedOnA);
    EXPECT_EQ(two.bodies[0].force.y, 0.0f);
  }
}

TEST(SpringForce, TwoSpringsOnOnePairAdd) {
  TwoBodies one(Vector(0, 0, 0), Vector(0, 3, 4));
  SpringForce(7, 9, 1.0f, 2.0f).Apply(one.bodies, one.map, 0.0);
  TwoBodies two(Vector(0, 0, 0), Vector(0, 3, 4));
  SpringForce(7, 9, 1.0f, 2.0f).Apply(two.bodies, two.map, 0.0);
  SpringForce(9, 7, 2.0f, 3.0f).Apply(two.bodies, two.map, 0.0);
  // (5 - 1) 2 + (5 - 2) 3 = 17 along the unit direction (0, 0.6, 0.8).
  EXPECT_NEAR(two.bodies[0].force.y, 17.0f * 0.6f, 1e-4f);
  EXPECT_NEAR(two.bodies[0].force.z, 17.0f * 0.8f, 1e-4f);
  EXPECT_NEAR(two.bodies[1].force.z, -17.0f * 0.8f, 1e-4f);
  EXPECT_NEAR(one.bodies[0].force.z, 8.0f * 0.8f, 1e-4f);
}

TEST(SpringForce, CoincidentCentresOrMissingBodySkipTheStep) {
  TwoBodies two(Vector(1, 1, 1), Vector(1, 1, 1));
  SpringForce(7, 9, 1.0f, 5.0f).Apply(two.bodies, two.map, 0.0);
  EXPECT_EQ(two.bodies[0].force, Vector());
  EXPECT_EQ(two.bodies[1].force, Vector());
  SpringForce(7, 8, 1.0f, 5.0f).Apply(two.bodies, two.map, 0.0);
  EXPECT_EQ(two.bodies[0].force, Vector());
}
