// Springs on bodies registered in a BodyIndexMap (gravity is covered end to
// end in physics_module_test.cpp).

#include <vector>

#include <gtest/gtest.h>

#include "physics/body_index_map.h"
#include "physics/force.h"
#include "physics/rigid_body.h"

namespace {

// Objects 7 and 9 as bodies 0 and 1.
struct TwoBodies {
  std::vector<RigidBody> bodies{2};
  BodyIndexMap map;
  TwoBodies(const Vector& a, const Vector& b) {
    map.Add(7);
    map.Add(9);
    bodies[0].position = a;
    bodies[1].position = b;
  }
  void Spring(uint32_t a, uint32_t b, float rest, float k) {
    SpringForce(a, b, rest, k).Apply(bodies, map, 0.0);
  }
};

}  // namespace

TEST(SpringForce, SignsFollowStretchAndTwoSpringsAdd) {
  // Distance 2 along x, k = 5: stretched pulls A towards B, compressed pushes it away.
  const float cases[][2] = {{1.0f, 5.0f}, {3.0f, -5.0f}, {2.0f, 0.0f}};  // rest length, A's x force
  for (const auto& c : cases) {
    TwoBodies two(Vector(0, 0, 0), Vector(2, 0, 0));
    two.Spring(7, 9, c[0], 5.0f);
    EXPECT_FLOAT_EQ(two.bodies[0].force.x, c[1]);
    EXPECT_FLOAT_EQ(two.bodies[1].force.x, -c[1]);
    EXPECT_EQ(two.bodies[0].force.y, 0.0f);
  }
  // (5 - 1) 2 + (5 - 2) 3 = 17 along the unit direction (0, 0.6, 0.8), even
  // with the second spring naming the pair the other way round.
  TwoBodies two(Vector(0, 0, 0), Vector(0, 3, 4));
  two.Spring(7, 9, 1.0f, 2.0f);
  two.Spring(9, 7, 2.0f, 3.0f);
  EXPECT_NEAR(two.bodies[0].force.y, 17.0f * 0.6f, 1e-4f);
  EXPECT_NEAR(two.bodies[0].force.z, 17.0f * 0.8f, 1e-4f);
  EXPECT_NEAR(two.bodies[1].force.z, -17.0f * 0.8f, 1e-4f);
}

TEST(SpringForce, CoincidentCentresOrMissingBodySkipTheStep) {
  // Coincident centres give no direction: a NaN here would poison both bodies.
  TwoBodies two(Vector(1, 1, 1), Vector(1, 1, 1));
  two.Spring(7, 9, 1.0f, 5.0f);
  two.bodies[1].position = Vector(4, 1, 1);
  two.Spring(7, 8, 1.0f, 5.0f);  // object 8 has no body
  EXPECT_EQ(two.bodies[0].force, Vector());
  EXPECT_EQ(two.bodies[1].force, Vector());
}
