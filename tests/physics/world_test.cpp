// Bodies and their objects: rigid-body integration, and the sync, step and
// write-back of PhysicsWorld over a plain object table. (Forces and joints
// are built from requests in physics_module_test.cpp; nothing in the scene
// uses springs or ball joints.)

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "physics/force.h"
#include "physics/physics_comp.h"
#include "physics/physics_world.h"
#include "physics/rigid_body.h"

namespace {

constexpr float kDt = 1.0f / 60.0f;

GameObject MakeObject(const std::string& name, const Vector& position, float mass = 1.0f) {
  GameObject object;
  object.name = name;
  object.position = position;
  PhysicsComp comp;
  comp.mass = mass;
  object.AttachComponent(comp);
  return object;
}

PhysicsComp& Comp(PhysicsWorld::ObjectTable& table, uint32_t id) {
  return *table.at(id).Find<PhysicsComp>();
}

TEST(RigidBody, InertiaFollowsOrientationSpinTurnsAndNonPositiveMassIsImmovable) {
  RigidBody body;
  body.orientation = Quaternion::FromAxisAngle(Vector(1, 1, 0) * (1.0f / std::sqrt(2.0f)), 0.7f);
  const Matrix4 inertia = Matrix4::Scale(2.0f, 3.0f, 5.0f);
  body.SetMassProperties(4.0f, inertia);
  EXPECT_FLOAT_EQ(body.inverseMass, 0.25f);
  // The world inertia is R I R^T, and its inverse really inverts it.
  const Matrix4 r = body.orientation.ToMatrix(), expected = r * inertia * r.Transpose();
  const Matrix4 product = body.worldInertia * body.inverseWorldInertia;
  for (int i = 0; i < 9; ++i) {
    EXPECT_NEAR(body.worldInertia(i / 3, i % 3), expected(i / 3, i % 3), 1e-5f);
    EXPECT_NEAR(product(i / 3, i % 3), i % 4 == 0 ? 1.0f : 0.0f, 1e-5f);
  }
  // Spinning at 1 rad/s about y for one second turns by about 1 rad, in place.
  RigidBody spinner;
  spinner.SetMassProperties(1.0f, Matrix4());
  spinner.angularVelocity = Vector(0, 1, 0);
  for (int i = 0; i < 60; ++i) { spinner.Integrate(kDt, 0.0f, true); spinner.orientation = spinner.orientation.Normalized(); }
  const Vector x = spinner.orientation.Rotate(Vector(1, 0, 0));
  EXPECT_TRUE(std::fabs(std::atan2(-x.z, x.x) - 1.0f) < 1e-3f && spinner.position == Vector());
  for (float mass : {0.0f, -2.0f, std::nanf("")}) {
    RigidBody still;
    still.SetMassProperties(mass, inertia);
    still.linearVelocity = Vector(1, 0, 0);
    still.force = Vector(0, -100, 0);
    still.torque = Vector(0, 0, 100);
    still.Integrate(kDt, 0.0f, true);
    EXPECT_TRUE(still.inverseMass == 0.0f && still.linearVelocity == Vector(1, 0, 0) && still.angularVelocity == Vector());
  }
}

// A body appears at the first sync after its component. Removing body i
// shifts every higher index down one, whether the object shows its removal
// flag (killed) or is already gone from the table (killed and swept between
// two syncs: a ghost whose gravity would pull forever).
TEST(PhysicsWorldSync, BodiesAppearWithTheirComponentAndGoWithTheirObject) {
  for (const bool swept : {false, true}) {
    SCOPED_TRACE(swept ? "swept" : "flagged");
    PhysicsWorld world;
    PhysicsWorld::ObjectTable table;
    for (uint32_t id = 1; id <= 4; ++id) table.emplace(id, MakeObject("o", Vector(id, 0, 0)));
    table[5].position = Vector(5, 0, 0);  // no component yet
    world.Sync(table);
    ASSERT_TRUE(world.bodies.size() == 4u && !world.HasBody(5));
    PhysicsComp comp;
    comp.mass = 2.0f;
    comp.linearVelocity = Vector(0, 0, 3);
    table.at(5).AttachComponent(comp);
    world.Sync(table);
    ASSERT_EQ(world.BodyIndex(5), 4u);
    EXPECT_TRUE(world.bodies[4].position == Vector(5, 0, 0) && world.bodies[4].linearVelocity == Vector(0, 0, 3));
    EXPECT_FLOAT_EQ(world.bodies[4].inverseMass, 0.5f);
    std::vector<uint32_t> order;
    for (uint32_t i = 0; i < 5; ++i) order.push_back(world.indexMap.ObjectId(i));
    const uint32_t victim = order[1];
    world.AddForce(std::make_unique<GravityForce>(victim));
    if (swept) table.erase(victim);
    else table.at(victim).dead = true;
    world.Sync(table);
    ASSERT_TRUE(!world.HasBody(victim) && world.bodies.size() == 4u && world.BodyIndex(order[0]) == 0u);
    EXPECT_EQ(world.forces.size(), swept ? 0u : 1u) << "a swept object's force goes with it";
    for (uint32_t i = 2; i < 5; ++i) {
      EXPECT_TRUE(world.BodyIndex(order[i]) == i - 1 && world.indexMap.ObjectId(i - 1) == order[i]);
      EXPECT_EQ(world.bodies[i - 1].position.x, float(order[i]));
    }
    world.Step(0.0, kDt, {}, {});  // the removed body's gravity pulls nothing
    world.WriteBack(table);
    for (const RigidBody& body : world.bodies) EXPECT_EQ(body.linearVelocity.y, 0.0f);
    EXPECT_NEAR(table.at(5).position.z, 3.0f * kDt, 1e-6f);  // integrated from then on
  }
}

// Another thread writes a velocity and moves the object during the step:
// the step's change is added to what was written. An object removed
// between sync and write-back is skipped.
TEST(PhysicsWorldWriteBack, ChangesMadeDuringTheStepSurvive) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  table.emplace(1, MakeObject("a", Vector(0, 10, 0)));
  world.AddForce(std::make_unique<GravityForce>(1, 10.0f));
  world.Sync(table);
  world.Step(0.0, kDt, {}, {});
  Comp(table, 1).linearVelocity = Vector(4, 0, 0);
  table.at(1).position.x = 2.0f;
  world.WriteBack(table);
  EXPECT_EQ(Comp(table, 1).linearVelocity.x, 4.0f);
  EXPECT_FLOAT_EQ(Comp(table, 1).linearVelocity.y, -10.0f * kDt);
  EXPECT_EQ(table.at(1).position.x, 2.0f);
  EXPECT_FLOAT_EQ(table.at(1).position.y, 10.0f - 10.0f * kDt * kDt);
  world.Sync(table);
  world.Step(0.0, kDt, {}, {});
  table.erase(1);
  world.WriteBack(table);
  EXPECT_TRUE(table.empty());
}

// One contact of a sliding box with the ground, deeper than the slop: the
// ground (found by name) is never pushed, the box is pushed out and its
// sliding stopped by friction; a contact naming an object without a body
// is skipped.
TEST(PhysicsWorldContacts, GroundPlaneIsFoundByNameAndNeverPushed) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  table.emplace(4, MakeObject("GROUND_PLANE", Vector(0, -5, 0), 1.0e9f));
  table.emplace(6, MakeObject("box", Vector(0, 0.9f, 0)));
  Comp(table, 6).linearVelocity = Vector(1, -1, 0);
  world.Sync(table);
  ASSERT_TRUE(world.HasGround() && world.GroundId() == 4u);
  std::vector<ContactManifold> manifolds(1);
  manifolds[0].objectA = 4;
  manifolds[0].objectB = 6;
  manifolds[0].pointCount = 1;
  // featureA, featureB, point, pointOnA, pointOnB, normal (A to B), depth
  const std::vector<ContactPoint> points = {
      {0, 0, Vector(), Vector(0.3f, 0.1f, 0), Vector(0.3f, -0.1f, 0), Vector(0, 1, 0), 0.2f}};
  world.Step(0.0, kDt, manifolds, points);
  ASSERT_EQ(world.solver.RowCount(), 3u);  // normal + two friction
  EXPECT_GT(world.solver.Lambda(0), 0.0f);
  const RigidBody &ground = world.bodies[world.BodyIndex(4)], &box = world.bodies[world.BodyIndex(6)];
  EXPECT_TRUE(ground.linearVelocity == Vector() && ground.angularVelocity == Vector());
  const Vector contactVelocity = box.linearVelocity + Cross(box.angularVelocity, points[0].pointOnB - box.position);
  // The overlap (0.2, against hull margins of about 0.16 and the slop) is
  // undone gently: the contact separates no faster than the capped bias.
  EXPECT_TRUE(contactVelocity.y > 0.0f && contactVelocity.y <= PhysicsWorld::kMaxBiasSpeed + 0.01f) << contactVelocity.y;
  EXPECT_LT(std::fabs(contactVelocity.x), 0.2f);
  manifolds[0].objectA = 99;
  world.Step(0.0, kDt, manifolds, points);
  EXPECT_EQ(world.solver.RowCount(), 0u);
}

// The narrow phase takes B's vertices within a band of the deepest one and
// reports each one's depth as |(Y - X) . n|: a vertex lying above A's
// surface comes with a positive depth. It is no contact and must not push.
TEST(PhysicsWorldContacts, AVertexAboveTheSurfaceDoesNotPush) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  table.emplace(1, MakeObject("GROUND_PLANE", Vector(0, -5, 0), 1.0e9f));
  table.emplace(2, MakeObject("box", Vector(0, 0.5f, 0)));
  world.Sync(table);
  std::vector<ContactManifold> manifolds(1);
  manifolds[0].objectA = 1;
  manifolds[0].objectB = 2;
  manifolds[0].pointCount = 2;
  // A's support vertex X = (30, 0, 0); `point` is the midpoint of X and the
  // deepest vertex, 0.02 deep; the second vertex is 0.2 above the surface.
  const Vector up(0, 1, 0), midpoint(15.25f, -0.01f, 0);
  const std::vector<ContactPoint> points = {
      {0, 0, midpoint, Vector(0.5f, 0, 0), Vector(0.5f, -0.02f, 0), up, 0.02f},
      {0, 0, midpoint, Vector(-0.5f, 0.4f, 0), Vector(-0.5f, 0.2f, 0), up, 0.2f}};
  world.Step(0.0, kDt, manifolds, points);
  const RigidBody& box = world.bodies[world.BodyIndex(2)];
  EXPECT_LE(box.linearVelocity.y, 1e-6f);
  EXPECT_LT(Length(box.angularVelocity), 1e-6f);
}

}  // namespace
