// Springs on bodies registered in a BodyIndexMap: Hooke's law along the line
// of centres, signs, sums, and the steps they must skip (gravity is covered
// end to end in physics_module_test.cpp).

#include <vector>

#include <gtest/gtest.h>

#include "physics/body_index_map.h"
#include "physics/force.h"
#include "physics/rigid_body.h"

namespace {

TEST(SpringForce, HookesLawAlongTheLineOfCentresAndSkippedSteps) {
  std::vector<RigidBody> bodies(2);
  BodyIndexMap map;
  map.Add(7);  // objects 7 and 9 as bodies 0 and 1
  map.Add(9);
  auto spring = [&](uint32_t a, uint32_t b, float rest, float k) {
    for (RigidBody& body : bodies) body.force = Vector();
    SpringForce(a, b, rest, k).Apply(bodies, map, 0.0);
  };
  // Distance 5 along (0, 0.6, 0.8): a stretched spring pulls A towards B, a
  // compressed one pushes it away; B gets the opposite force.
  bodies[1].position = Vector(0, 3, 4);
  for (const float rest : {1.0f, 5.0f, 8.0f}) {
    spring(7, 9, rest, 2.0f);
    EXPECT_NEAR(bodies[0].force.y, 2.0 * (5.0 - rest) * 0.6, 1e-4);
    EXPECT_NEAR(bodies[0].force.z, 2.0 * (5.0 - rest) * 0.8, 1e-4);
    EXPECT_EQ(bodies[0].force.x, 0.0f);
    EXPECT_EQ(bodies[1].force, -bodies[0].force);
  }
  // Named the other way round, the same spring gives the same forces.
  spring(9, 7, 1.0f, 2.0f);
  EXPECT_NEAR(bodies[0].force.z, 2.0 * 4.0 * 0.8, 1e-4);
  // Coincident centres give no direction (a NaN would poison both bodies);
  // an object without a body does nothing.
  bodies[1].position = bodies[0].position;
  spring(7, 9, 1.0f, 5.0f);
  EXPECT_EQ(bodies[0].force, Vector());
  bodies[1].position = Vector(4, 1, 1);
  spring(7, 8, 1.0f, 5.0f);
  EXPECT_EQ(bodies[0].force, Vector());
  EXPECT_EQ(bodies[1].force, Vector());
}

}  // namespace
