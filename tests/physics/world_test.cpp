// Bodies and their objects: rigid-body integration, the sync, step and
// write-back of PhysicsWorld over a plain object table, and a spring or a
// ball joint acting alone. (Forces and joints
// are built from requests in physics_module_test.cpp; nothing in the scene
// uses springs or ball joints.)

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "physics/body_index_map.h"
#include "physics/force.h"
#include "physics/physics_comp.h"
#include "physics/physics_world.h"
#include "physics/rigid_body.h"
#include "support/objects.h"

namespace {

constexpr float kDt = 1.0f / 60.0f;

GameObject MakeObject(const std::string& name, const Vector& position, float mass = 1.0f) {
  return support::BodyObject(name, position, mass);
}

PhysicsComp& Comp(PhysicsWorld::ObjectTable& table, uint32_t id) {
  return *table.at(id).Find<PhysicsComp>();
}

// A full tensor (products of inertia included) is turned and inverted
// whole; one that cannot be inverted leaves the body unable to turn.
TEST(RigidBody, InertiaFollowsOrientationSpinTurnsAndNonPositiveMassIsImmovable) {
  RigidBody body;
  body.orientation = Quaternion::FromAxisAngle(Vector(1, 1, 0) * (1.0f / std::sqrt(2.0f)), 0.7f);
  Matrix4 inertia = Matrix4::Scale(2.0f, 3.0f, 5.0f);
  inertia(0, 1) = inertia(1, 0) = -0.9f;
  inertia(1, 2) = inertia(2, 1) = 1.2f;
  inertia(0, 2) = inertia(2, 0) = 0.7f;
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
  Matrix4 flat = Matrix4::Scale(1.0f, 1.0f, 0.0f), broken = inertia;
  broken(1, 2) = broken(2, 1) = std::nanf("");
  for (const Matrix4& bad : {flat, broken, Matrix4::Zero()}) {
    RigidBody still;
    still.SetMassProperties(2.0f, bad);
    still.torque = Vector(3, 0, 1);
    still.Integrate(kDt, 0.0f, true);
    EXPECT_TRUE(still.inverseMass == 0.5f && still.angularVelocity == Vector());
  }
}

// A body appears at the first sync after its component. Removing body i
// shifts every higher index down one, whether the object shows its removal
// flag (killed) or is already gone from the table (killed and swept between
// two syncs: a ghost whose gravity would pull forever).
// Ids index an array up to a bound and a map beyond it; both keep the
// bodies' order through a compaction.
TEST(BodyIndexMap, SmallAndHugeIdsKeepTheirOrderThroughCompaction) {
  BodyIndexMap map;
  for (const uint32_t id : {5u, 1u << 30, 2u, 4000000000u, 7u}) map.Add(id);
  map.Compact({true, false, true, true, false});
  EXPECT_TRUE(map.Size() == 3u && map.Index(5) == 0u && map.Index(2) == 1u && map.Index(4000000000u) == 2u);
  EXPECT_FALSE(map.Has(1u << 30) || map.Has(7) || map.Has(3));
}

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
    // A changed product of inertia alone makes a new shape, as a new mass does.
    Comp(table, 5).inertiaTensor(0, 2) = Comp(table, 5).inertiaTensor(2, 0) = 0.25f;
    world.Sync(table);
    EXPECT_TRUE(world.bodies[4].reshaped);
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

// Two free bodies (masses m and m / 4) 5 apart along d = (3, -4, 0), tied by
// one spring or one ball joint at their centres, after one step. The spring
// changes each body's velocity by dt F / m, F = k (|d| - L) along d: a
// stretched spring pulls the two together, a compressed one pushes them
// apart. The joint closes 0.3 of the gap along each axis (a Baumgarte factor
// of 0.6 over two steps), or what a row force of 3000 moves the bodies in a
// step if that is less (either way along the axis).
TEST(PhysicsWorldForces, SpringsAndBallJointsPullAtTheirRates) {
  const double d[3] = {3.0, -4.0, 0.0};
  for (int k = 0; k < 4; ++k) {  // springs of rest length 1 and 9, joints between bodies of mass 2 and 4000
    const float rest = k == 0 ? 1.0f : 9.0f, mass = k < 3 ? 2.0f : 4000.0f;
    PhysicsWorld world;
    PhysicsWorld::ObjectTable table;
    table.emplace(1, MakeObject("a", Vector(1, 2, 3), mass));
    table.emplace(2, MakeObject("b", Vector(4, -2, 3), mass / 4.0f));
    if (k < 2) world.AddForce(std::make_unique<SpringForce>(1, 2, rest, 3.0f));
    else world.AddJoint(std::make_unique<BallJointConstraint>(1, 2));
    world.Sync(table);
    world.Step(0.0, kDt, {}, {});
    const RigidBody &a = world.bodies[world.BodyIndex(1)], &b = world.bodies[world.BodyIndex(2)];
    const double f = kDt * 3.0 * (5.0 - rest) / 5.0 / mass, bound = 3000.0 * kDt * kDt * 5.0 / mass;
    for (int i = 0; i < 3; ++i) {
      if (k < 2) EXPECT_LT(std::fabs(a.linearVelocity[i] - f * d[i]) + std::fabs(b.linearVelocity[i] + 4.0 * f * d[i]), 1e-6) << k << i;
      else EXPECT_NEAR(b.position[i] - a.position[i], d[i] * (1.0 - std::min(0.3, bound / std::fabs(d[i]))), 1e-5) << k << i;
    }
  }
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
  manifolds[0].positionA = table.at(4).position;  // the poses the points were found at
  manifolds[0].positionB = table.at(6).position;
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
  // undone by moving the box, not by giving it a speed that would carry it
  // on: it has risen, and its contact point neither closes nor separates.
  EXPECT_GT(box.position.y, 0.9f);
  EXPECT_NEAR(contactVelocity.y, 0.0f, 0.01f);
  // Sliding at 1 unit/s along x, the second friction row (t2 = -x for an
  // upward normal) holds at its Coulomb bound, mu times the normal force.
  EXPECT_NEAR(std::fabs(world.solver.Lambda(2)), 0.1f * world.solver.Lambda(0), 1e-4f * world.solver.Lambda(0));
  EXPECT_GT(contactVelocity.x, 0.5f);
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
  manifolds[0].positionA = table.at(1).position;
  manifolds[0].positionB = table.at(2).position;
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

namespace {

// A manifold of the ground (A, at (0, -5, 0)) and a body (B, at `at`)
// touching it at `corners` (x and z), the body's bottom face 0.5 below its
// centre, found at frame time `time` where the body is at `at`.
void GroundContact(uint32_t ground, uint32_t body, const Vector& at, const std::vector<Vector>& corners,
                   double time, std::vector<ContactManifold>& manifolds,
                   std::vector<ContactPoint>& points) {
  ContactManifold manifold;
  manifold.time = time;
  manifold.positionA = Vector(0, -5, 0);
  manifold.positionB = at;
  manifold.objectA = ground;
  manifold.objectB = body;
  manifold.firstPoint = static_cast<uint32_t>(points.size());
  manifold.pointCount = static_cast<uint32_t>(corners.size());
  const Vector up(0, 1, 0);
  const float bottom = at.y - 0.5f;
  const Vector support(corners[0].x, 0, corners[0].z), deepest(corners[0].x, bottom, corners[0].z);
  for (size_t c = 0; c < corners.size(); ++c) {
    const Vector onB(corners[c].x, bottom, corners[c].z);
    points.push_back({0, static_cast<uint32_t>(c), (support + deepest) * 0.5f, onB - up * bottom, onB,
                      up, -bottom});
  }
  manifolds.push_back(manifold);
}

// The ground (number 1) and a box (number 2) of `mass` and inertia
// `inertia` about each axis at `at`, pulled down at 10 units/s^2; and its
// four bottom corners, 0.5 from its centre in x and z.
std::vector<Vector> BoxOnGround(PhysicsWorld& world, PhysicsWorld::ObjectTable& table,
                                const Vector& at, float mass, float inertia) {
  table.emplace(1, MakeObject("GROUND_PLANE", Vector(0, -5, 0), 1.0e9f));
  table.emplace(2, MakeObject("box", at, mass));
  Comp(table, 2).inertiaTensor = Matrix4::Scale(inertia, inertia, inertia);
  world.AddForce(std::make_unique<GravityForce>(2, 10.0f));
  return {Vector(-0.5f, 0, -0.5f), Vector(0.5f, 0, -0.5f), Vector(0.5f, 0, 0.5f),
          Vector(-0.5f, 0, 0.5f)};
}

// The box's contact with the ground where the box is now.
void BoxGroundContact(const PhysicsWorld::ObjectTable& table, const std::vector<Vector>& corners,
                      double time, std::vector<ContactManifold>& manifolds,
                      std::vector<ContactPoint>& points) {
  GroundContact(1, 2, table.at(2).position, corners, time, manifolds, points);
}

// Steps the world once at `time` with the given contacts, between sync and
// write-back as the module does; advances the time.
void StepWith(PhysicsWorld& world, PhysicsWorld::ObjectTable& table, double& time,
              const std::vector<ContactManifold>& manifolds, const std::vector<ContactPoint>& points) {
  world.Sync(table);
  world.Step(time, kDt, manifolds, points);
  world.WriteBack(table);
  time += kDt;
}

}  // namespace

// A cut leaves the object its back half under the same number, re-centred,
// lighter, with a new inertia. The contacts the collision thread found for
// the whole object (and their warm-start lambdas, which held it up) lie
// where the piece no longer is: applied to it they fling a small piece away.
// They are dropped; contacts found after the change are used, from rest.
TEST(PhysicsWorldContacts, ContactsFoundForABodysOldShapeAreNotUsed) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  const std::vector<Vector> corners = BoxOnGround(world, table, Vector(0, 0.48f, 0), 20.0f, 3.3f);
  double time = 0.0;
  for (int step = 0; step < 20; ++step, time += kDt) {  // not yet asleep
    std::vector<ContactManifold> manifolds;
    std::vector<ContactPoint> points;
    GroundContact(1, 2, table.at(2).position, corners, time, manifolds, points);
    world.Sync(table);
    world.Step(time, kDt, manifolds, points);
    world.WriteBack(table);
  }
  // Held up: the four normal rows carry much of its weight, 200.
  float weight = 0.0f;
  for (size_t row = 0; row < 12; row += 3) weight += world.solver.Lambda(row);
  ASSERT_GT(weight, 100.0f);

  // Cut: a chip of 0.2 is left, its centre 0.4 beside the old one.
  GameObject& box = table.at(2);
  box.position = Vector(0.4f, 0.1f, 0.4f);
  Comp(table, 2).mass = 0.2f;
  Comp(table, 2).inertiaTensor = Matrix4::Scale(3e-4f, 3e-4f, 3e-4f);
  Comp(table, 2).linearVelocity = Comp(table, 2).angularVelocity = Vector();
  for (int step = 0; step < 2; ++step, time += kDt) {
    // The collision thread's last word is still about the whole box.
    std::vector<ContactManifold> manifolds;
    std::vector<ContactPoint> points;
    GroundContact(1, 2, Vector(0, 0.48f, 0), corners, time - 2 * kDt, manifolds, points);
    world.Sync(table);
    world.Step(time, kDt, manifolds, points);
    world.WriteBack(table);
    EXPECT_EQ(world.solver.RowCount(), 0u);
    EXPECT_LT(Length(Comp(table, 2).linearVelocity), 0.5f);
    EXPECT_LT(Length(Comp(table, 2).angularVelocity), 0.5f);
  }
  // Then the chip's own contact: used, and started from rest.
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  GroundContact(1, 2, table.at(2).position, {Vector(0.4f, 0, 0.4f)}, time, manifolds, points);
  world.Sync(table);
  world.Step(time, kDt, manifolds, points);
  ASSERT_EQ(world.solver.RowCount(), 3u);
  EXPECT_EQ(world.solver.StartLambda(0), 0.0f);
  world.WriteBack(table);
  EXPECT_LT(Length(Comp(table, 2).linearVelocity), 1.0f);
}

// The warm-start cache names bodies by index. When a body goes, the bodies
// after it move down one index; their lambdas move with them, and the one
// that took a heavy body's old index does not start from that body's. A
// contact missing for a step or a few keeps its lambdas; one gone for long
// starts afresh.
TEST(PhysicsWorldContacts, WarmStartFollowsABodyWhenAnEarlierOneGoesAndOutlivesAFlicker) {
  // The table's order decides the indices: find which number comes first.
  uint32_t first = 0, second = 0;
  {
    PhysicsWorld probe;
    PhysicsWorld::ObjectTable table;
    table.emplace(1, MakeObject("GROUND_PLANE", Vector(0, -5, 0), 1.0e9f));
    table.emplace(2, MakeObject("a", Vector(-3, 0.48f, 0)));
    table.emplace(3, MakeObject("b", Vector(3, 0.48f, 0)));
    probe.Sync(table);
    first = probe.BodyIndex(2) < probe.BodyIndex(3) ? 2 : 3;
    second = 5 - first;
  }
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  table.emplace(1, MakeObject("GROUND_PLANE", Vector(0, -5, 0), 1.0e9f));
  table.emplace(2, MakeObject("a", Vector(-3, 0.48f, 0)));
  table.emplace(3, MakeObject("b", Vector(3, 0.48f, 0)));
  Comp(table, first).mass = 100.0f;  // heavy, and before the light one
  for (const uint32_t id : {first, second}) world.AddForce(std::make_unique<GravityForce>(id, 10.0f));
  const auto contacts = [&](double time, bool withHeavy, std::vector<ContactManifold>& manifolds,
                            std::vector<ContactPoint>& points) {
    for (const uint32_t id : {first, second})
      if (id == second || withHeavy)
        GroundContact(1, id, table.at(id).position, {Vector(table.at(id).position.x, 0, 0)}, time,
                      manifolds, points);
  };
  double time = 0.0;
  for (int step = 0; step < 20; ++step, time += kDt) {  // not yet asleep
    std::vector<ContactManifold> manifolds;
    std::vector<ContactPoint> points;
    contacts(time, true, manifolds, points);
    world.Sync(table);
    world.Step(time, kDt, manifolds, points);
    world.WriteBack(table);
  }
  const float light = world.solver.Lambda(3), heavy = world.solver.Lambda(0);
  ASSERT_NEAR(light, 10.0f, 1.0f);
  ASSERT_NEAR(heavy, 1000.0f, 100.0f);
  const uint32_t lightIndex = world.BodyIndex(second);

  table.erase(first);
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  contacts(time, false, manifolds, points);
  world.Sync(table);
  ASSERT_EQ(world.BodyIndex(second), lightIndex - 1);
  world.Step(time, kDt, manifolds, points);
  world.WriteBack(table);
  EXPECT_FLOAT_EQ(world.solver.StartLambda(0), light);
  // The contact then goes missing for a few steps and comes back: after
  // fewer than kWarmStartMaxAge steps (a flicker) it starts from the force
  // it last had, after that many from rest.
  for (const int gap : {ConstraintSolver::kWarmStartMaxAge - 1, ConstraintSolver::kWarmStartMaxAge}) {
    const double held = world.solver.Lambda(0);
    for (int k = 0; k <= gap; ++k) {
      manifolds.clear(), points.clear();
      if (k == gap) contacts(time, false, manifolds, points);
      StepWith(world, table, time, manifolds, points);
    }
    EXPECT_EQ(world.solver.StartLambda(0), gap < ConstraintSolver::kWarmStartMaxAge ? held : 0.0) << gap;
  }
}

// The collision thread finds contacts while this thread steps the bodies,
// so a contact arrives a step or so late. Its points are carried along with
// their bodies: a box that has been pushed up out of the ground since the
// contact was found is not pushed again, it falls.
TEST(PhysicsWorldContacts, LateContactsAreMeasuredWhereTheBodiesAreNow) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  const std::vector<Vector> corners = BoxOnGround(world, table, Vector(0, 0.5f, 0), 2.0f, 0.3f);
  world.Sync(table);
  // Found 0.25 deep, with the box 0.29 lower than it is now: 0.04 clear.
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
  GroundContact(1, 2, Vector(0, 0.21f, 0), corners, 0.0, manifolds, points);
  for (ContactPoint& point : points) {
    point.pointOnB.y = -0.25f;
    point.point.y = -0.125f;  // halfway to the ground's top face
    point.depth = 0.25f;
  }
  world.Step(0.0, kDt, manifolds, points);
  ASSERT_EQ(world.solver.RowCount(), 4u);  // clear of the ground: no friction yet
  for (size_t row = 0; row < 4; ++row) EXPECT_EQ(world.solver.Lambda(row), 0.0f) << row;
  world.WriteBack(table);
  EXPECT_NEAR(Comp(table, 2).linearVelocity.y, -10.0f * kDt, 1e-4f);
  EXPECT_LT(Length(Comp(table, 2).angularVelocity), 1e-5f);
}

// A sleeping body has no rows, so nothing refreshes its contacts' lambdas;
// they are kept all the same. Woken (a heap is woken whole when anything
// disturbs it), it starts from the forces that held it up instead of from
// none, and does not sag into the ground before they build up again.
TEST(PhysicsWorldContacts, AWokenBodyStartsFromTheForcesThatHeldIt) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  const std::vector<Vector> corners = BoxOnGround(world, table, Vector(0, 0.48f, 0), 20.0f, 3.3f);
  double time = 0.0;
  auto step = [&](bool touching) {
    std::vector<ContactManifold> manifolds;
    std::vector<ContactPoint> points;
    if (touching) BoxGroundContact(table, corners, time, manifolds, points);
    StepWith(world, table, time, manifolds, points);
  };
  auto normalForce = [&](float (ConstraintSolver::*lambda)(size_t) const) {
    float sum = 0.0f;
    // A manifold's normal rows come first, one per point.
    for (size_t row = 0; row < 4 && row < world.solver.RowCount(); ++row)
      sum += (world.solver.*lambda)(row);
    return sum;
  };
  float held = 0.0f;  // what the rows of the last awake step ended with
  for (int k = 0; k < 300 && !Comp(table, 2).sleeping; ++k) {
    step(true);
    if (world.solver.RowCount() > 0) held = normalForce(&ConstraintSolver::Lambda);
  }
  ASSERT_TRUE(Comp(table, 2).sleeping);
  ASSERT_NEAR(held, 200.0f, 20.0f);  // its weight
  // Asleep for a second: the pair of a resting body and the ground is not
  // even looked at.
  for (int k = 0; k < 60; ++k) step(false);
  ASSERT_TRUE(Comp(table, 2).sleeping);
  ASSERT_EQ(world.solver.RowCount(), 0u);

  Comp(table, 2).sleeping = false;
  const Vector resting = table.at(2).position;
  step(false);  // woken; the collision frame of this step skipped it, asleep
  step(true);
  EXPECT_TRUE(table.at(2).position == resting);  // held in place while its contacts come back
  step(true);
  ASSERT_EQ(world.solver.RowCount(), 12u);
  EXPECT_NEAR(normalForce(&ConstraintSolver::StartLambda), held, 0.01f * held);
  EXPECT_LT(std::fabs(Comp(table, 2).linearVelocity.y), 0.02f);
}

// A body wakes a sleeping one it runs into, not one it moves away from: a
// piece pushed up out of a heap (at the speed that undoes penetration) does
// not wake the heap beneath it, which would start it all over again.
TEST(PhysicsWorldContacts, ASleeperWakesWhenRunIntoNotWhenLeft) {
  PhysicsWorld world;
  PhysicsWorld::ObjectTable table;
  const std::vector<Vector> corners = BoxOnGround(world, table, Vector(0, 0.48f, 0), 20.0f, 3.3f);
  double time = 0.0;
  for (int k = 0; k < 300 && !Comp(table, 2).sleeping; ++k) {
    std::vector<ContactManifold> manifolds;
    std::vector<ContactPoint> points;
    BoxGroundContact(table, corners, time, manifolds, points);
    StepWith(world, table, time, manifolds, points);
  }
  ASSERT_TRUE(Comp(table, 2).sleeping);
  // Two chips above the box, one rising and one falling at 1 unit/s; a
  // step apart, so that neither is new when it touches.
  table.emplace(3, MakeObject("rising", Vector(0, 1.0f, 0)));
  Comp(table, 3).linearVelocity = Vector(0, 1, 0);
  table.emplace(4, MakeObject("falling", Vector(0.3f, 1.5f, 0)));
  Comp(table, 4).linearVelocity = Vector(0, -1, 0);
  StepWith(world, table, time, {}, {});
  // Each chip touches the box's top face; the normal points from the box up.
  auto touch = [&](uint32_t chip) {
    ContactManifold manifold;
    manifold.time = time;
    manifold.objectA = 2;
    manifold.objectB = chip;
    manifold.positionA = table.at(2).position;
    manifold.positionB = table.at(chip).position;
    manifold.pointCount = 1;
    const Vector top(table.at(chip).position.x, table.at(2).position.y + 0.5f, 0);
    const std::vector<ContactPoint> points{{0, 0, top, top, top, Vector(0, 1, 0), 0.0f}};
    StepWith(world, table, time, {manifold}, points);
  };
  touch(3);
  EXPECT_TRUE(Comp(table, 2).sleeping);
  touch(4);
  EXPECT_FALSE(Comp(table, 2).sleeping);
}
