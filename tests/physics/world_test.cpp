// Bodies and their objects: the body array, the id/index map, the sync and
// the write-back of PhysicsWorld over a plain object table.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "physics/body_index_map.h"
#include "physics/physics_comp.h"
#include "physics/physics_world.h"
#include "physics/rigid_body.h"

namespace {

constexpr float kDt = 1.0f / 60.0f;

GameObject MakeObject(const std::string& name, const Vector& position, bool withPhysics = true,
                      float mass = 1.0f) {
  GameObject object;
  object.name = name;
  object.position = position;
  if (withPhysics) {
    PhysicsComp comp;
    comp.mass = mass;
    object.AttachComponent(comp);
  }
  return object;
}

PhysicsComp& Comp(PhysicsWorld::ObjectTable& table, uint32_t id) {
  return *table.at(id).FindComponent<PhysicsComp>("PhysicsComp");
}

}  // namespace

TEST(BodyIndexMap, AddRemoveAndCompactKeepIndicesDense) {
  BodyIndexMap map;
  for (uint32_t id : {40u, 10u, 30u, 20u}) map.Add(id);
  EXPECT_EQ(map.Add(10), 1u);  // already registered: keeps its index
  EXPECT_EQ(map.Size(), 4u);
  map.RemoveIndex(1);
  EXPECT_FALSE(map.Has(10));
  EXPECT_EQ(map.Index(40), 0u);
  EXPECT_EQ(map.Index(30), 1u);
  EXPECT_EQ(map.Index(20), 2u);
  EXPECT_EQ(map.ObjectId(2), 20u);
  map.Add(50);
  map.Compact({false, true, false, true});
  ASSERT_EQ(map.Size(), 2u);
  EXPECT_EQ(map.Index(30), 0u);
  EXPECT_EQ(map.Index(50), 1u);
  EXPECT_FALSE(map.Has(40));
  EXPECT_FALSE(map.Has(20));
  uint32_t index = 99;
  EXPECT_FALSE(map.Find(20, index));
  EXPECT_EQ(index, 99u);
}

TEST(RigidBody, MassPropertiesFollowOrientationAndNonPositiveMassIsImmovable) {
  RigidBody body;
  body.orientation = Quaternion::FromAxisAngle(Vector(1, 1, 0) * (1.0f / std::sqrt(2.0f)), 0.7f);
  Matrix4 inertia;
  inertia(0, 0) = 2.0f;
  inertia(1, 1) = 3.0f;
  inertia(2, 2) = 5.0f;
  body.SetMassProperties(4.0f, inertia);
  EXPECT_FLOAT_EQ(body.inverseMass, 0.25f);
  const Matrix4 product = body.worldInertia * body.inverseWorldInertia;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(product(r, c), r == c ? 1.0f : 0.0f, 1e-5f);
  }

  for (float mass : {0.0f, -2.0f, std::nanf("")}) {
    RigidBody still;
    still.linearVelocity = Vector(1, 0, 0);
    still.SetMassProperties(mass, inertia);
    EXPECT_EQ(still.inverseMass, 0.0f);
    still.force = Vector(0, -100, 0);
    still.torque = Vector(0, 0, 100);
    still.Integrate(kDt, 0.0f, true);
    EXPECT_EQ(still.linearVelocity, Vector(1, 0, 0));
    EXPECT_EQ(still.angularVelocity, Vector());
  }
}

TEST(RigidBody, AtRestStaysPutAndSpinIntegratesTheOrientation) {
  RigidBody body;
  body.position = Vector(1, 2, 3);
  body.SetMassProperties(1.0f, Matrix4());
  body.Integrate(kDt, 0.0f, true);
  EXPECT_EQ(body.position, Vector(1, 2, 3));
  EXPECT_TRUE(body.orientation == Quaternion());
  // Spinning at 1 rad/s about y for one second turns by about 1 rad.
  body.angularVelocity = Vector(0, 1, 0);
  for (int i = 0; i < 60; ++i) {
    body.Integrate(kDt, 0.0f, true);
    body.orientation = body.orientation.Normalized();
  }
  const Vector x = body.orientation.Rotate(Vector(1, 0, 0));
  EXPECT_NEAR(std::atan2(-x.z, x.x), 1.0f, 1e-3f);
}

TEST(PhysicsWorldSync, BodiesAppearAtTheFirstSyncAfterTheirComponent) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  table.emplace(1, MakeObject("a", Vector(1, 0, 0)));
  table.emplace(2, MakeObject("b", Vector(2, 0, 0), false));
  world.Sync(table);
  EXPECT_TRUE(world.HasBody(1));
  EXPECT_FALSE(world.HasBody(2));
  EXPECT_EQ(world.bodies.size(), 1u);

  PhysicsComp comp;
  comp.mass = 2.0f;
  comp.linearVelocity = Vector(0, 0, 3);
  table.at(2).AttachComponent(comp);
  EXPECT_FALSE(world.HasBody(2));
  world.Sync(table);
  ASSERT_TRUE(world.HasBody(2));
  EXPECT_EQ(world.BodyIndex(2), 1u);
  const RigidBody& body = world.bodies[1];
  EXPECT_EQ(body.position, Vector(2, 0, 0));
  EXPECT_EQ(body.linearVelocity, Vector(0, 0, 3));
  EXPECT_FLOAT_EQ(body.inverseMass, 0.5f);

  // From then on it is integrated.
  world.Step(0.0, kDt, {}, {});
  world.WriteBack(table);
  EXPECT_NEAR(table.at(2).position.z, 3.0f * kDt, 1e-6f);
}

TEST(PhysicsWorldSync, RemovingBodyShiftsHigherIndicesDown) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  for (uint32_t id = 1; id <= 5; ++id) {
    table.emplace(id, MakeObject("o" + std::to_string(id), Vector(float(id), 0, 0)));
  }
  world.Sync(table);
  ASSERT_EQ(world.bodies.size(), 5u);
  std::vector<uint32_t> order;
  for (uint32_t i = 0; i < 5; ++i) order.push_back(world.indexMap.ObjectId(i));

  // Kill the object at index 1: every higher index moves down one.
  const uint32_t victim = order[1];
  table.at(victim).dead = true;
  world.Sync(table);
  EXPECT_FALSE(world.HasBody(victim));
  ASSERT_EQ(world.bodies.size(), 4u);
  EXPECT_EQ(world.BodyIndex(order[0]), 0u);
  for (uint32_t i = 2; i < 5; ++i) {
    EXPECT_EQ(world.BodyIndex(order[i]), i - 1);
    EXPECT_EQ(world.bodies[i - 1].position.x, float(order[i]));
  }
}

TEST(PhysicsWorldSync, GhostBodiesDoNotSurviveASync) {
  // An object killed and swept between two syncs never shows its flag; its
  // body must still go, or its gravity keeps pulling a body nobody sees.
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  table.emplace(1, MakeObject("a", Vector(0, 0, 0)));
  table.emplace(2, MakeObject("b", Vector(5, 0, 0)));
  table.emplace(3, MakeObject("c", Vector(9, 0, 0)));
  world.AddForce(std::make_unique<GravityForce>(2));
  world.Sync(table);
  table.erase(2);
  world.Sync(table);
  EXPECT_FALSE(world.HasBody(2));
  EXPECT_EQ(world.bodies.size(), 2u);
  for (uint32_t i = 0; i < world.bodies.size(); ++i) {
    EXPECT_NE(world.indexMap.ObjectId(i), 2u);
    EXPECT_EQ(world.bodies[i].position.x, table.at(world.indexMap.ObjectId(i)).position.x);
  }
  world.Step(0.0, kDt, {}, {});  // the gravity force of the ghost does nothing
  for (const RigidBody& body : world.bodies) EXPECT_EQ(body.linearVelocity, Vector());
  EXPECT_EQ(world.forces.size(), 1u);
}

TEST(PhysicsWorldWriteBack, ChangesMadeDuringTheStepSurvive) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  table.emplace(1, MakeObject("a", Vector(0, 10, 0)));
  world.AddForce(std::make_unique<GravityForce>(1, 10.0f));
  world.Sync(table);
  world.Step(0.0, kDt, {}, {});
  // Another thread writes a velocity and moves the object during the step.
  Comp(table, 1).linearVelocity = Vector(4, 0, 0);
  table.at(1).position.x = 2.0f;
  world.WriteBack(table);
  // The step's change (-g dt along y) is added to what was written.
  EXPECT_FLOAT_EQ(Comp(table, 1).linearVelocity.x, 4.0f);
  EXPECT_FLOAT_EQ(Comp(table, 1).linearVelocity.y, -10.0f * kDt);
  EXPECT_FLOAT_EQ(table.at(1).position.x, 2.0f);
  EXPECT_FLOAT_EQ(table.at(1).position.y, 10.0f - 10.0f * kDt * kDt);

  // An object removed between sync and write-back is skipped.
  world.Sync(table);
  world.Step(0.0, kDt, {}, {});
  table.erase(1);
  world.WriteBack(table);
  EXPECT_TRUE(table.empty());
}

TEST(PhysicsWorldContacts, GroundPlaneIsFoundByNameAndNeverPushed) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  table.emplace(4, MakeObject("GROUND_PLANE", Vector(0, -5, 0), true, 1.0e9f));
  table.emplace(6, MakeObject("box", Vector(0, 0.9f, 0)));
  world.Sync(table);
  ASSERT_TRUE(world.HasGround());
  EXPECT_EQ(world.GroundId(), 4u);

  // One contact of the box with the ground, deeper than the slop.
  std::vector<ContactManifold> manifolds(1);
  manifolds[0].objectA = 4;
  manifolds[0].objectB = 6;
  manifolds[0].pointCount = 1;
  std::vector<ContactPoint> points(1);
  points[0].normal = Vector(0, 1, 0);
  points[0].pointOnB = Vector(0.3f, -0.1f, 0);
  points[0].pointOnA = Vector(0.3f, 0.1f, 0);
  points[0].depth = 0.2f;
  Comp(table, 6).linearVelocity = Vector(1, -1, 0);
  world.Sync(table);
  world.Step(0.0, kDt, manifolds, points);
  ASSERT_EQ(world.solver.RowCount(), 2u);  // normal + friction
  EXPECT_GT(world.solver.Lambda(0), 0.0f);
  const RigidBody& ground = world.bodies[world.BodyIndex(4)];
  EXPECT_EQ(ground.linearVelocity, Vector());
  EXPECT_EQ(ground.angularVelocity, Vector());
  const RigidBody& box = world.bodies[world.BodyIndex(6)];
  // Pushed out, and its sliding stopped by friction against the heavy ground.
  const Vector rB = points[0].pointOnB - box.position;
  const Vector contactVelocity = box.linearVelocity + Cross(box.angularVelocity, rB);
  EXPECT_GT(box.linearVelocity.y, 0.0f);
  EXPECT_LT(std::fabs(contactVelocity.x), 0.2f);

  // A contact naming an object without a body is skipped; a ground plane
  // that is rebuilt under a new number is found again.
  manifolds[0].objectA = 99;
  world.Step(0.0, kDt, manifolds, points);
  EXPECT_EQ(world.solver.RowCount(), 0u);
  table.erase(4);
  table.emplace(8, MakeObject("GROUND_PLANE", Vector(0, -5, 0), true, 1.0e9f));
  world.Sync(table);
  EXPECT_EQ(world.GroundId(), 8u);
  world.Reset();
  EXPECT_FALSE(world.HasGround());
  EXPECT_TRUE(world.bodies.empty());
}
