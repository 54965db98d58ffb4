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
  // With `pull`, the body is also pulled along x, and two friction rows
  // (mu 0.5, along x and z) hold it.
  void Solve(ConstraintSolver& solver, const RowBodies& map, bool warm, float depth = 0.0f,
             float pull = 0.0f) {
    bodies[1].force = Vector(pull, -20, 0);
    const uint32_t normal = static_cast<uint32_t>(solver.RowCount());
    solver.AddRow(normalRow, map, depth, 0.0f, 1e8f);
    for (const Vector& t : {Vector(1, 0, 0), Vector(0, 0, 1)}) {
      if (pull == 0.0f) break;
      JacobianRow row;
      row.linearA = -t;
      row.linearB = t;
      solver.AddFrictionRow(row, RowBodies{map.indexA, 0, map.indexB, 0, false}, normal, 0.5f);
    }
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

// The two rows span the tangent plane of any normal, so together they
// measure the whole sliding velocity of the contact points, spin included;
// each carries +-mu, its bound per unit of normal force.
TEST(FrictionConstraint, RowsMeasureTheWholeSlidingVelocityAndAZeroRowKeepsLambdaZero) {
  std::vector<RigidBody> bodies{MakeBody(Vector(0, 0, 0), 4.0f), MakeBody(Vector(0, 1, 0), 2.0f)};
  bodies[0].linearVelocity = Vector(0.3f, -0.2f, 0.1f);
  bodies[0].angularVelocity = Vector(0.5f, 1.0f, -2.0f);
  bodies[1].linearVelocity = Vector(3, -5, 1);
  bodies[1].angularVelocity = Vector(-1, 0.25f, 4);
  const Vector rA(0.2f, 0.5f, -0.1f), rB(0.1f, -0.5f, 0.3f);
  for (const Vector& axis : {Vector(0, 1, 0), Vector(1, 0, 0), Vector(0, 0, -1), Vector(0.6f, 0.5f, -0.62f),
                             Vector(-0.58f, 0.577f, 0.576f), Vector(0.577f, 0.58f, 0.574f)}) {
    const Vector n = axis / Length(axis);
    const FrictionConstraint friction(1, 2, rA, rB, n);
    ConstraintRows rows;
    friction.BuildRows(rows, bodies[0], bodies[1]);
    ASSERT_EQ(rows.Size(), 2u);
    // Relative velocity of the contact points in double precision, less its normal part.
    double slide[3], vrel[3], along = 0.0;
    const RigidBody &a = bodies[0], &b = bodies[1];
    const double wA[3] = {a.angularVelocity.x, a.angularVelocity.y, a.angularVelocity.z};
    const double wB[3] = {b.angularVelocity.x, b.angularVelocity.y, b.angularVelocity.z};
    const double ra[3] = {rA.x, rA.y, rA.z}, rb[3] = {rB.x, rB.y, rB.z}, nd[3] = {n.x, n.y, n.z};
    for (int i = 0; i < 3; ++i) {
      const int j = (i + 1) % 3, k = (i + 2) % 3;
      vrel[i] = b.linearVelocity[i] + (wB[j] * rb[k] - wB[k] * rb[j]) - a.linearVelocity[i] -
                (wA[j] * ra[k] - wA[k] * ra[j]);
      along += vrel[i] * nd[i];
    }
    for (int i = 0; i < 3; ++i) slide[i] = vrel[i] - along * nd[i];
    Vector measured;
    for (size_t r = 0; r < 2; ++r) {
      const JacobianRow& j = rows.jacobian[r];
      EXPECT_NEAR(Length(j.linearB), 1.0f, 1e-5f);
      EXPECT_NEAR(Dot3(j.linearB, n), 0.0f, 1e-5f);
      EXPECT_TRUE(j.linearA == -j.linearB && rows.bias[r] == 0.0f);
      EXPECT_FLOAT_EQ(rows.upper[r], 0.1f);
      EXPECT_EQ(rows.lower[r], -rows.upper[r]);
      const float jv = Dot3(j.linearA, a.linearVelocity) + Dot3(j.angularA, a.angularVelocity) +
                       Dot3(j.linearB, b.linearVelocity) + Dot3(j.angularB, b.angularVelocity);
      measured += j.linearB * jv;
    }
    EXPECT_NEAR(Dot3(rows.jacobian[0].linearB, rows.jacobian[1].linearB), 0.0f, 1e-5f);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(measured[i], slide[i], 1e-4) << i;
  }

  // An all-zero row has d = 0 and its update is 0/0; the clamp must send
  // that to the lower bound, 0, so nothing moves.
  EXPECT_TRUE(ConstraintSolver::Clamp(std::nanf(""), 0.0f, 1.0f) == 0.0f && ConstraintSolver::Clamp(2.0f, 0.0f, 1.0f) == 1.0f);
}

// One contact persisting for 13 steps: each step starts from the lambdas
// its normal and friction rows ended the step before with (none for the
// first), and its entry is stored afresh every step.
TEST(WarmStart, PersistingContactStartsFromTheLastStepsLambda) {
  RestingPair pair;
  ConstraintSolver solver;
  const RowBodies contact{0, 3, 1, 4, true};
  const WarmStartKey key = ConstraintSolver::MakeKey(contact);
  float previous = 0.0f, previousFriction = 0.0f;
  for (int step = 1; step <= 13; ++step) {
    SCOPED_TRACE(step);
    solver.ClearRows();
    // A row that is not a contact never touches the cache.
    solver.AddRow(JacobianRow(), RowBodies{0, 0, 1, 0, false}, 0.0f, 0.0f, 0.0f);
    // Vary the depth a little so that each step's own lambda differs.
    pair.Solve(solver, contact, true, 0.01f * step, 3.0f + step);
    pair.bodies[1].linearVelocity = Vector();

    EXPECT_EQ(solver.StartLambda(0), 0.0f);
    EXPECT_EQ(solver.StartLambda(1), previous);
    EXPECT_EQ(solver.StartLambda(2), previousFriction);
    WarmStartEntry entry;
    ASSERT_TRUE(solver.FindCached(key, entry) && entry.age == 0 && entry.lambdas.row[0] == solver.Lambda(1) &&
                entry.lambdas.row[1] == solver.Lambda(2) && entry.lambdas.row[2] == solver.Lambda(3));
    ASSERT_NE(entry.lambdas.row[0], previous);
    // The friction row holds the pull (within its bound, 10).
    ASSERT_NEAR(solver.Lambda(2), -(3.0f + step), 0.1f);
    previous = entry.lambdas.row[0];
    previousFriction = entry.lambdas.row[1];
  }
  // Without warm starting nothing is cached.
  ConstraintSolver cold;
  pair.Solve(cold, contact, false);
  EXPECT_EQ(cold.CacheSize(), 0u);
}

// The table against a map: store (insert or overwrite, age 0), age all by
// one per solve, erase above age 10; but an entry whose two bodies rest is
// set aside instead, and put back at age 0 once one of them stops resting
// (nothing is stored for two resting bodies: no row is solved for them).
// Halfway, body 5 goes and the bodies above it move down one index. Few
// distinct indices and features, so keys recur, collide and come back after
// erasure, and enough per solve that the table grows several times.
TEST(WarmStartCache, BehavesLikeAnAgeingMapThroughGrowthDeletionAndRest) {
  const auto less = [](const WarmStartKey& a, const WarmStartKey& b) {
    return std::tie(a.indexHigh, a.featureHigh, a.indexLow, a.featureLow) <
           std::tie(b.indexHigh, b.featureHigh, b.indexLow, b.featureLow);
  };
  using Model = std::map<WarmStartKey, WarmStartEntry, decltype(less)>;
  Model model(less), parked(less);
  std::vector<uint8_t> resting(41, 0);
  const auto rest = [&resting](const WarmStartKey& key) {
    return resting[key.indexHigh] != 0 && resting[key.indexLow] != 0;
  };
  WarmStartCache cache;
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> small(0, 40);
  int returned = 0;  // entries put back from aside
  for (int solve = 0; solve < 200; ++solve) {
    // Bodies come to rest and wake: about a third rest at a time.
    for (int k = 0; k < 3; ++k) resting[small(random)] = small(random) < 14 ? 1 : 0;
    cache.Unpark(resting);
    for (auto it = parked.begin(); it != parked.end();) {
      if (rest(it->first)) {
        ++it;
        continue;
      }
      model[it->first] = WarmStartEntry{0, it->second.lambdas};
      it = parked.erase(it);
      ++returned;
    }
    for (int n = 0; n < (solve < 100 ? 400 : 50); ++n) {
      const WarmStartKey key{small(random), small(random), small(random), small(random) % 3};
      if (rest(key)) continue;
      const WarmStartLambdas lambdas{{static_cast<float>(n), -0.5f * n, 0.25f * n}};
      cache.Store(key, lambdas);
      model[key] = WarmStartEntry{0, lambdas};
    }
    cache.EraseOld(resting);
    for (auto it = model.begin(); it != model.end();) {
      if (it->second.age <= 10) {
        ++it;
        continue;
      }
      if (rest(it->first)) parked[it->first] = it->second;
      it = model.erase(it);
    }
    if (solve == 100) {
      std::vector<uint32_t> newIndex(41);
      for (uint32_t i = 0; i < 41; ++i) newIndex[i] = i < 5 ? i : i - 1;
      newIndex[5] = WarmStartCache::kDropBody;
      cache.RenumberBodies(newIndex);
      for (Model* map : {&model, &parked}) {
        Model moved(less);
        for (const auto& entry : *map) {
          WarmStartKey key = entry.first;
          if (key.indexHigh == 5 || key.indexLow == 5) continue;
          key.indexHigh = newIndex[key.indexHigh];
          key.indexLow = newIndex[key.indexLow];
          moved.emplace(key, entry.second);
        }
        map->clear();
        map->insert(moved.begin(), moved.end());
      }
      resting.erase(resting.begin() + 5);
      resting.push_back(0);
    }
    ASSERT_EQ(cache.Size(), model.size()) << solve;
    ASSERT_EQ(cache.ParkedSize(), parked.size()) << solve;
    for (const auto& entry : model) {
      WarmStartEntry found;
      ASSERT_TRUE(cache.Find(entry.first, found));
      ASSERT_TRUE(found.age == entry.second.age && found.lambdas == entry.second.lambdas);
    }
    cache.AgeAll();
    for (auto& entry : model) ++entry.second.age;
  }
  // Entries went aside and came back, and some are aside at the end.
  EXPECT_TRUE(returned > 100 && !parked.empty()) << returned << " " << parked.size();
  WarmStartEntry none;
  EXPECT_FALSE(cache.Find(WarmStartKey{99, 99, 99, 99}, none));
}
