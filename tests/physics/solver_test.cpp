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

// A body of mass 2 (index 1) on an immovable floor (index 0), pushed down by
// a force so that a normal row between them has a positive lambda.
struct RestingPair {
  std::vector<RigidBody> bodies{MakeBody(Vector(0, -1, 0), 0.0f), MakeBody(Vector(0, 1, 0), 2.0f)};
  JacobianRow normalRow;
  RestingPair() {
    normalRow.linearA = Vector(0, -1, 0);  // the normal points from A to B
    normalRow.linearB = Vector(0, 1, 0);
  }
  void Solve(ConstraintSolver& solver, const RowBodies& map, bool warm, float depth = 0.0f) {
    bodies[1].force = Vector(0, -20, 0);
    solver.AddRow(normalRow, map, depth, 0.0f, 1e8f);
    solver.Solve(bodies, kDt, 1.0f, 3, warm);
  }
};

}  // namespace

TEST(ConstraintSolverClamp, OrderedValuesClampAndNaNFallsToLowerBound) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float cases[][4] = {// value, lower, upper, expected
                            {5, -1, 2, 2}, {-5, -1, 2, -1}, {0.5f, -1, 2, 0.5f}, {nan, -1, 2, -1},
                            {inf, 0, 1e8f, 1e8f}};
  for (const auto& c : cases) EXPECT_EQ(ConstraintSolver::Clamp(c[0], c[1], c[2]), c[3]) << c[0];
}

TEST(ConstraintSolver, NormalRowPushesOnlyAndASwappedContactKeepsItsKey) {
  const WarmStartKey key = ConstraintSolver::MakeKey(RowBodies{3, 70, 5, 90, true});
  const WarmStartKey swapped = ConstraintSolver::MakeKey(RowBodies{5, 90, 3, 70, true});
  EXPECT_TRUE(key == swapped);
  EXPECT_EQ(HashWarmStartKey(key), HashWarmStartKey(swapped));
  EXPECT_EQ(key.indexHigh, 5u);
  EXPECT_EQ(key.featureHigh, 90u);
  EXPECT_FALSE(key == ConstraintSolver::MakeKey(RowBodies{3, 90, 5, 70, true}));

  RestingPair pair;
  pair.bodies[1].linearVelocity = Vector(0, -3, 0);
  ConstraintSolver solver;
  pair.Solve(solver, RowBodies{0, 7, 1, 9, true}, true);
  const float first = solver.Lambda(0);
  ASSERT_GT(first, 0.0f);
  // After the solve the free velocity plus dt m^-1 F has no normal part.
  EXPECT_NEAR(pair.bodies[1].linearVelocity.y + kDt * (-20.0f / 2.0f), 0.0f, 1e-4f);
  EXPECT_EQ(pair.bodies[0].linearVelocity, Vector());  // the floor is immovable

  // The same contact seen with its bodies swapped is warm-started; the
  // bodies now separate, so the row may not pull: lambda ends at its bound.
  solver.ClearRows();
  std::swap(pair.normalRow.linearA, pair.normalRow.linearB);
  pair.bodies[1].linearVelocity = Vector(0, 3, 0);
  pair.Solve(solver, RowBodies{1, 9, 0, 7, true}, true);
  EXPECT_EQ(solver.StartLambda(0), first);
  EXPECT_EQ(solver.Lambda(0), 0.0f);
  EXPECT_NEAR(pair.bodies[1].linearVelocity.y, 3.0f, 1e-5f);
}

TEST(FrictionConstraint, RowOpposesSlidingAndAnAllZeroRowKeepsLambdaZero) {
  const FrictionConstraint friction(1, 2, Vector(0, 0.5f, 0), Vector(0, -0.5f, 0), Vector(0, 1, 0));
  std::vector<RigidBody> bodies{MakeBody(Vector(0, 0, 0), 4.0f), MakeBody(Vector(0, 1, 0), 2.0f)};
  bodies[1].linearVelocity = Vector(3, -5, 0);  // slides along +x, approaches along y
  ConstraintRows rows;
  friction.BuildRows(rows, bodies[0], bodies[1]);
  ASSERT_EQ(rows.Size(), 1u);
  EXPECT_EQ(rows.jacobian[0].linearB, Vector(1, 0, 0));
  EXPECT_EQ(rows.jacobian[0].linearA, Vector(-1, 0, 0));
  EXPECT_FLOAT_EQ(rows.upper[0], 0.1f * 3.0f * 10.0f);  // mu * (4 + 2) / 2 * 10
  EXPECT_FLOAT_EQ(rows.lower[0], -rows.upper[0]);
  EXPECT_EQ(rows.bias[0], 0.0f);

  // No sliding: the row is all zero, d = 0 and the update is 0/0; the clamp
  // must send that to the lower bound, 0, and nothing may move.
  bodies[0].linearVelocity = Vector(0.5f, 0, 0);
  bodies[1].linearVelocity = Vector(0.5f, 2.0f, 0);
  ConstraintRows still;
  friction.BuildRows(still, bodies[0], bodies[1]);
  EXPECT_EQ(still.upper[0], 0.0f);
  EXPECT_EQ(still.lower[0], 0.0f);
  ConstraintSolver solver;
  solver.AddRows(still, RowBodies{0, 0, 1, 0, false}, 1.0f);
  solver.Solve(bodies, kDt, 1.0f, 3, true);
  EXPECT_EQ(solver.Lambda(0), 0.0f);
  EXPECT_EQ(bodies[0].linearVelocity, Vector(0.5f, 0, 0));
  EXPECT_EQ(bodies[1].linearVelocity, Vector(0.5f, 2.0f, 0));

  // Spin alone slides the contact: B turning at 4 rad/s about z moves its
  // point 0.5 below the centre along +x at 2 units/s.
  bodies[1].angularVelocity = Vector(0, 0, 4);
  friction.BuildRows(still, bodies[0], bodies[1]);
  EXPECT_EQ(still.jacobian[0].linearB, Vector(1, 0, 0));
}

TEST(BallJoint, PullsAnchorsTogetherAtBaumgarteRateWithinBounds) {
  const float k = PhysicsWorld::kBaumgarte / (2.0f * kDt);
  // Light bodies need little force; heavy ones need more than 3000 per row.
  for (const float mass : {1.0f, 500.0f}) {
    PhysicsWorld world;
    world.bodies = {MakeBody(Vector(0, 0, 0), mass), MakeBody(Vector(2, -1, 0.5f), mass)};
    world.indexMap.Add(10);
    world.indexMap.Add(20);
    world.AddJoint(std::make_unique<BallJointConstraint>(10, 20, Vector(), Vector()));
    const Vector d = world.bodies[0].position - world.bodies[1].position;
    world.Step(0.0, kDt, {}, {});
    ASSERT_EQ(world.solver.RowCount(), 3u);
    const Vector vRel = world.bodies[1].linearVelocity - world.bodies[0].linearVelocity;
    for (int i = 0; i < 3; ++i) {
      EXPECT_LE(std::fabs(world.solver.Lambda(i)), BallJointConstraint::kMaxLambda);
      if (mass > 1.0f) {
        // The bound limits the pull: |dv| = dt * 3000 * (1/mA + 1/mB).
        const float limit = kDt * BallJointConstraint::kMaxLambda * 2.0f / mass;
        EXPECT_NEAR(std::fabs(vRel[i]), std::min(limit, std::fabs(k * d[i])), 1e-4f);
        EXPECT_GT(vRel[i] * d[i], -1e-6f);  // still towards A
      } else {
        EXPECT_NEAR(vRel[i], k * d[i], 1e-3f);
      }
    }
  }
}

// One contact persisting for 13 steps: each step starts from the lambda the
// step before ended with (none for the first), and its entry is stored
// afresh every step.
TEST(WarmStart, PersistingContactStartsFromTheLastStepsLambda) {
  RestingPair pair;
  ConstraintSolver solver;
  const RowBodies contact{0, 3, 1, 4, true};
  const WarmStartKey key = ConstraintSolver::MakeKey(contact);
  float previous = 0.0f;
  for (int step = 1; step <= 13; ++step) {
    SCOPED_TRACE(step);
    solver.ClearRows();
    // A row that is not a contact never touches the cache.
    solver.AddRow(JacobianRow(), RowBodies{0, 0, 1, 0, false}, 0.0f, 0.0f, 0.0f);
    // Vary the depth a little so that each step's own lambda differs.
    pair.Solve(solver, contact, true, 0.01f * step);
    pair.bodies[1].linearVelocity = Vector();

    EXPECT_EQ(solver.StartLambda(0), 0.0f);
    EXPECT_EQ(solver.StartLambda(1), previous);
    WarmStartEntry entry;
    ASSERT_TRUE(solver.FindCached(key, entry));
    EXPECT_EQ(entry.age, 0);
    EXPECT_EQ(entry.lambda, solver.Lambda(1));
    ASSERT_NE(entry.lambda, previous);
    previous = entry.lambda;
  }
  EXPECT_EQ(solver.CacheSize(), 1u);

  // An entry for a contact that went away dies after eleven solves.
  solver.ClearRows();
  for (int i = 0; i < 11; ++i) solver.Solve(pair.bodies, kDt, 1.0f, 3, true);
  EXPECT_EQ(solver.CacheSize(), 0u);

  // Without warm starting nothing is cached.
  ConstraintSolver cold;
  pair.Solve(cold, contact, false);
  EXPECT_EQ(cold.CacheSize(), 0u);
}
