// The constraint solver: the clamp, contact and friction rows, ball joints,
// and the warm-start cache with its key, ageing and erasure.

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "physics/constraint.h"
#include "physics/constraint_solver.h"
#include "physics/physics_world.h"
#include "physics/rigid_body.h"

namespace {

constexpr float kDt = 1.0f / 60.0f;

RigidBody MakeBody(const Vector& position, float mass) {
  RigidBody body;
  body.position = position;
  Matrix4 inertia;
  for (int i = 0; i < 3; ++i) inertia(i, i) = mass;
  body.SetMassProperties(mass, inertia);
  body.TakeSnapshot();
  return body;
}

// A body of mass m resting on an immovable one, pushed down by a force so
// that the single normal row has a positive lambda every step.
struct RestingPair {
  std::vector<RigidBody> bodies;
  JacobianRow normalRow;
  RestingPair() {
    bodies.push_back(MakeBody(Vector(0, -1, 0), 0.0f));  // immovable floor
    bodies.push_back(MakeBody(Vector(0, 1, 0), 2.0f));
    const Vector n(0, 1, 0);  // from the floor (A) towards the body (B)
    normalRow.linearA = -n;
    normalRow.linearB = n;
  }
  void Push() { bodies[1].force = Vector(0, -20, 0); }
};

RowBodies ContactMap(uint32_t a, uint32_t fa, uint32_t b, uint32_t fb) {
  RowBodies map;
  map.indexA = a;
  map.featureA = fa;
  map.indexB = b;
  map.featureB = fb;
  map.isContact = true;
  return map;
}

}  // namespace

TEST(ConstraintSolverClamp, OrderedValuesClampAndNaNFallsToLowerBound) {
  EXPECT_EQ(ConstraintSolver::Clamp(5.0f, -1.0f, 2.0f), 2.0f);
  EXPECT_EQ(ConstraintSolver::Clamp(-5.0f, -1.0f, 2.0f), -1.0f);
  EXPECT_EQ(ConstraintSolver::Clamp(0.5f, -1.0f, 2.0f), 0.5f);
  EXPECT_EQ(ConstraintSolver::Clamp(std::numeric_limits<float>::quiet_NaN(), -1.0f, 2.0f), -1.0f);
  EXPECT_EQ(ConstraintSolver::Clamp(std::numeric_limits<float>::infinity(), 0.0f, 1e8f), 1e8f);
}

TEST(ConstraintSolver, NormalRowCancelsTheApproachAndPushesOnly) {
  RestingPair pair;
  pair.Push();
  pair.bodies[1].linearVelocity = Vector(0, -3, 0);
  ConstraintSolver solver;
  solver.AddRow(pair.normalRow, ContactMap(0, 0, 1, 0), 0.0f, 0.0f, 1e8f);
  solver.Solve(pair.bodies, kDt, 1.0f, 3, false);
  EXPECT_GT(solver.Lambda(0), 0.0f);
  // After the solve the free velocity plus dt m^-1 F must have no normal part.
  const float vNext = pair.bodies[1].linearVelocity.y + kDt * (-20.0f / 2.0f);
  EXPECT_NEAR(vNext, 0.0f, 1e-4f);
  // The immovable floor is untouched.
  EXPECT_EQ(pair.bodies[0].linearVelocity, Vector());

  // Separating bodies: the row may not pull, lambda stays at its lower bound.
  RestingPair apart;
  apart.bodies[1].linearVelocity = Vector(0, 3, 0);
  ConstraintSolver solver2;
  solver2.AddRow(apart.normalRow, ContactMap(0, 0, 1, 0), 0.0f, 0.0f, 1e8f);
  solver2.Solve(apart.bodies, kDt, 1.0f, 3, false);
  EXPECT_EQ(solver2.Lambda(0), 0.0f);
  EXPECT_EQ(apart.bodies[1].linearVelocity, Vector(0, 3, 0));
}

TEST(FrictionConstraint, RowOpposesSlidingWithMeanMassBound) {
  RigidBody a = MakeBody(Vector(0, 0, 0), 4.0f);
  RigidBody b = MakeBody(Vector(0, 1, 0), 2.0f);
  b.linearVelocity = Vector(3, -5, 0);  // slides along +x, approaches along y
  FrictionConstraint friction(1, 2, Vector(0, 0.5f, 0), Vector(0, -0.5f, 0), Vector(0, 1, 0));
  ConstraintRows rows;
  friction.BuildRows(rows, a, b);
  ASSERT_EQ(rows.Size(), 1u);
  EXPECT_EQ(rows.jacobian[0].linearB, Vector(1, 0, 0));
  EXPECT_EQ(rows.jacobian[0].linearA, Vector(-1, 0, 0));
  // mu * (4 + 2) / 2 * 10
  EXPECT_FLOAT_EQ(rows.upper[0], 0.1f * 3.0f * 10.0f);
  EXPECT_FLOAT_EQ(rows.lower[0], -rows.upper[0]);
  EXPECT_EQ(rows.bias[0], 0.0f);
}

TEST(FrictionConstraint, AllZeroRowKeepsLambdaZero) {
  // No sliding: the row is all zero, d = 0 and the update is 0/0; the clamp
  // must send that to the lower bound, 0, and nothing may move.
  std::vector<RigidBody> bodies = {MakeBody(Vector(0, 0, 0), 1.0f),
                                   MakeBody(Vector(0, 1, 0), 1.0f)};
  bodies[0].linearVelocity = Vector(0.5f, 0, 0);
  bodies[1].linearVelocity = Vector(0.5f, 2.0f, 0);  // same tangential velocity
  FrictionConstraint friction(1, 2, Vector(0, 0.5f, 0), Vector(0, -0.5f, 0), Vector(0, 1, 0));
  ConstraintRows rows;
  friction.BuildRows(rows, bodies[0], bodies[1]);
  ASSERT_EQ(rows.Size(), 1u);
  EXPECT_EQ(rows.upper[0], 0.0f);
  EXPECT_EQ(rows.lower[0], 0.0f);

  ConstraintSolver solver;
  RowBodies map;
  map.indexA = 0;
  map.indexB = 1;
  solver.AddRows(rows, map, 1.0f);
  solver.Solve(bodies, kDt, 1.0f, 3, true);
  EXPECT_EQ(solver.Lambda(0), 0.0f);
  EXPECT_EQ(bodies[0].linearVelocity, Vector(0.5f, 0, 0));
  EXPECT_EQ(bodies[1].linearVelocity, Vector(0.5f, 2.0f, 0));
}

TEST(BallJoint, PullsAnchorsTogetherAtBaumgarteRateWithinBounds) {
  const float k = PhysicsWorld::kBaumgarte / (2.0f * kDt);
  struct Case {
    float mass;
    bool clamped;
  };
  // Light bodies need little force; heavy ones need more than 3000 per row.
  for (const Case c : {Case{1.0f, false}, Case{500.0f, true}}) {
    PhysicsWorld world;
    world.bodies = {MakeBody(Vector(0, 0, 0), c.mass), MakeBody(Vector(2, -1, 0.5f), c.mass)};
    world.indexMap.Add(10);
    world.indexMap.Add(20);
    world.AddJoint(std::make_unique<BallJointConstraint>(10, 20, Vector(), Vector()));
    const Vector d = world.bodies[0].position - world.bodies[1].position;
    world.Step(0.0, kDt, {}, {});
    ASSERT_EQ(world.solver.RowCount(), 3u);
    const Vector vRel = world.bodies[1].linearVelocity - world.bodies[0].linearVelocity;
    for (int i = 0; i < 3; ++i) {
      const float lambda = world.solver.Lambda(i);
      EXPECT_LE(std::fabs(lambda), BallJointConstraint::kMaxLambda);
      if (c.clamped) {
        // The bound limits the pull: |dv| = dt * 3000 * (1/mA + 1/mB).
        const float limit = kDt * BallJointConstraint::kMaxLambda * 2.0f / c.mass;
        EXPECT_NEAR(std::fabs(vRel[i]), std::min(limit, std::fabs(k * d[i])), 1e-4f);
        EXPECT_GT(vRel[i] * d[i], -1e-6f);  // still towards A
      } else {
        EXPECT_NEAR(vRel[i], k * d[i], 1e-3f);
      }
    }
  }
}

TEST(WarmStartKey, SwappingTheBodiesKeepsTheKey) {
  const WarmStartKey key = ConstraintSolver::MakeKey(ContactMap(3, 70, 5, 90));
  EXPECT_TRUE(key == ConstraintSolver::MakeKey(ContactMap(5, 90, 3, 70)));
  EXPECT_EQ(key.indexHigh, 5u);
  EXPECT_EQ(key.featureHigh, 90u);
  EXPECT_FALSE(key == ConstraintSolver::MakeKey(ContactMap(3, 90, 5, 70)));
  EXPECT_EQ(HashWarmStartKey(key), HashWarmStartKey(ConstraintSolver::MakeKey(ContactMap(5, 90, 3, 70))));

  // The same contact seen with its bodies swapped is warm-started.
  RestingPair pair;
  ConstraintSolver solver;
  pair.Push();
  solver.AddRow(pair.normalRow, ContactMap(0, 7, 1, 9), 0.0f, 0.0f, 1e8f);
  solver.Solve(pair.bodies, kDt, 1.0f, 3, true);
  const float first = solver.Lambda(0);
  ASSERT_GT(first, 0.0f);
  solver.ClearRows();
  JacobianRow swapped;
  swapped.linearA = pair.normalRow.linearB;
  swapped.linearB = pair.normalRow.linearA;
  pair.Push();
  solver.AddRow(swapped, ContactMap(1, 9, 0, 7), 0.0f, 0.0f, 1e8f);
  solver.Solve(pair.bodies, kDt, 1.0f, 3, true);
  EXPECT_EQ(solver.StartLambda(0), first);
}

TEST(WarmStart, TwelveStepTimelineOfOnePersistingContact) {
  RestingPair pair;
  ConstraintSolver solver;
  const WarmStartKey key = ConstraintSolver::MakeKey(ContactMap(0, 3, 1, 4));
  float entryLambda = 0.0f;
  for (int step = 1; step <= 13; ++step) {
    SCOPED_TRACE(step);
    solver.ClearRows();
    pair.Push();
    // Vary the depth a little so that each step's own lambda differs.
    solver.AddRow(pair.normalRow, ContactMap(0, 3, 1, 4), 0.01f * step, 0.0f, 1e8f);
    // A friction-like row that is not a contact never touches the cache.
    RowBodies plain;
    plain.indexA = 0;
    plain.indexB = 1;
    solver.AddRow(JacobianRow(), plain, 0.0f, 0.0f, 0.0f);
    solver.Solve(pair.bodies, kDt, 1.0f, 3, true);
    pair.bodies[1].linearVelocity = Vector();

    EXPECT_EQ(solver.StartLambda(1), 0.0f);
    if (step == 1 || step == 13) {
      // No entry: a cold start, then a fresh entry with this step's lambda.
      EXPECT_EQ(solver.StartLambda(0), 0.0f);
      WarmStartEntry entry;
      ASSERT_TRUE(solver.FindCached(key, entry));
      EXPECT_EQ(entry.age, 0);
      EXPECT_EQ(entry.lambda, solver.Lambda(0));
      entryLambda = entry.lambda;
      ASSERT_GT(entryLambda, 0.0f);
    } else if (step <= 6) {
      // The five steps after the entry was made start from its lambda,
      // which is never updated.
      EXPECT_EQ(solver.StartLambda(0), entryLambda);
      WarmStartEntry entry;
      ASSERT_TRUE(solver.FindCached(key, entry));
      EXPECT_EQ(entry.age, step - 1);
      EXPECT_EQ(entry.lambda, entryLambda);
    } else if (step <= 11) {
      EXPECT_EQ(solver.StartLambda(0), 0.0f);
      WarmStartEntry entry;
      ASSERT_TRUE(solver.FindCached(key, entry));
      EXPECT_EQ(entry.age, step - 1);
    } else {
      // Step 12: the entry reaches age 11 and is erased at the end.
      EXPECT_EQ(solver.StartLambda(0), 0.0f);
      WarmStartEntry entry;
      EXPECT_FALSE(solver.FindCached(key, entry));
    }
  }
  EXPECT_EQ(solver.CacheSize(), 1u);

  // An entry for a contact that went away dies after eleven solves.
  solver.ClearRows();
  for (int i = 0; i < 11; ++i) solver.Solve(pair.bodies, kDt, 1.0f, 3, true);
  EXPECT_EQ(solver.CacheSize(), 0u);

  // Without warm starting nothing is cached.
  ConstraintSolver cold;
  pair.Push();
  cold.AddRow(pair.normalRow, ContactMap(0, 3, 1, 4), 0.0f, 0.0f, 1e8f);
  cold.Solve(pair.bodies, kDt, 1.0f, 3, false);
  EXPECT_EQ(cold.CacheSize(), 0u);
}
