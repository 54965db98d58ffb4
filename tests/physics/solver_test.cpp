// The constraint solver: contact and friction rows, and warm starting: the
// key, the solver's use of cached values, and the flat cache table against
// a plain map model of its rules.

#include <cmath>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "physics/constraint.h"
#include "physics/constraint_solver.h"
#include "physics/physics_world.h"
#include "physics/rigid_body.h"
#include "physics/warm_start_cache.h"

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

// A contact's key is the same seen from either body; a normal row only
// pushes (lambda >= 0) and leaves no normal velocity into the floor.
TEST(ConstraintSolver, NormalRowPushesOnlyAndASwappedContactKeepsItsKey) {
  const WarmStartKey key = ConstraintSolver::MakeKey(RowBodies{3, 70, 5, 90, true});
  const WarmStartKey swapped = ConstraintSolver::MakeKey(RowBodies{5, 90, 3, 70, true});
  EXPECT_TRUE(key == swapped);
  EXPECT_EQ(HashWarmStartKey(key), HashWarmStartKey(swapped));
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
  EXPECT_TRUE(rows.jacobian[0].linearB == Vector(1, 0, 0) && rows.jacobian[0].linearA == Vector(-1, 0, 0));
  EXPECT_FLOAT_EQ(rows.upper[0], 0.1f * 3.0f * 10.0f);  // mu * (4 + 2) / 2 * 10
  EXPECT_TRUE(rows.lower[0] == -rows.upper[0] && rows.bias[0] == 0.0f);

  // No sliding: the row is all zero, d = 0 and the update is 0/0; the clamp
  // must send that to the lower bound, 0, and nothing may move.
  bodies[0].linearVelocity = Vector(0.5f, 0, 0);
  bodies[1].linearVelocity = Vector(0.5f, 2.0f, 0);
  ConstraintRows still;
  friction.BuildRows(still, bodies[0], bodies[1]);
  EXPECT_TRUE(still.upper[0] == 0.0f && still.lower[0] == 0.0f);
  ConstraintSolver solver;
  solver.AddRows(still, RowBodies{0, 0, 1, 0, false}, 1.0f);
  solver.Solve(bodies, kDt, 1.0f, 3, true);
  EXPECT_EQ(solver.Lambda(0), 0.0f);
  EXPECT_TRUE(bodies[0].linearVelocity == Vector(0.5f, 0, 0) && bodies[1].linearVelocity == Vector(0.5f, 2.0f, 0));
  // Spin alone slides the contact: B turning at 4 rad/s about z moves its
  // point 0.5 below the centre along +x at 2 units/s.
  bodies[1].angularVelocity = Vector(0, 0, 4);
  friction.BuildRows(still, bodies[0], bodies[1]);
  EXPECT_EQ(still.jacobian[0].linearB, Vector(1, 0, 0));
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
    ASSERT_TRUE(solver.FindCached(key, entry) && entry.age == 0 && entry.lambda == solver.Lambda(1));
    ASSERT_NE(entry.lambda, previous);
    previous = entry.lambda;
  }
  // Without warm starting nothing is cached.
  ConstraintSolver cold;
  pair.Solve(cold, contact, false);
  EXPECT_EQ(cold.CacheSize(), 0u);
}

// The table against a map: store (insert or overwrite, age 0), age all by
// one per solve, erase above age 10. Few distinct indices and features, so keys
// recur, collide and come back after erasure, and enough per solve that the
// table grows several times.
TEST(WarmStartCache, BehavesLikeAnAgeingMapThroughGrowthAndDeletion) {
  const auto less = [](const WarmStartKey& a, const WarmStartKey& b) {
    return std::tie(a.indexHigh, a.featureHigh, a.indexLow, a.featureLow) <
           std::tie(b.indexHigh, b.featureHigh, b.indexLow, b.featureLow);
  };
  std::map<WarmStartKey, WarmStartEntry, decltype(less)> model(less);
  WarmStartCache cache;
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> small(0, 40);
  for (int solve = 0; solve < 200; ++solve) {
    for (int n = 0; n < (solve < 100 ? 400 : 50); ++n) {
      const WarmStartKey key{small(random), small(random), small(random), small(random) % 3};
      cache.Store(key, static_cast<float>(n));
      model[key] = WarmStartEntry{0, static_cast<float>(n)};
    }
    cache.EraseOld();
    for (auto it = model.begin(); it != model.end();) it = it->second.age > 10 ? model.erase(it) : std::next(it);
    ASSERT_EQ(cache.Size(), model.size()) << solve;
    for (const auto& entry : model) {
      WarmStartEntry found;
      ASSERT_TRUE(cache.Find(entry.first, found));
      ASSERT_TRUE(found.age == entry.second.age && found.lambda == entry.second.lambda);
    }
    cache.AgeAll();
    for (auto& entry : model) ++entry.second.age;
  }
  WarmStartEntry none;
  EXPECT_FALSE(cache.Find(WarmStartKey{99, 99, 99, 99}, none));
}
