#include "physics/constraint_solver.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

inline float RowDot(const JacobianRow& j, const Vector& linA, const Vector& angA,
                    const Vector& linB, const Vector& angB) {
  return Dot(j.linearA, linA) + Dot(j.angularA, angA) + Dot(j.linearB, linB) +
         Dot(j.angularB, angB);
}

using Row = ConstraintSolver::Row;

// The projected Gauss-Seidel step of a row whose speed is J a = ja: a
// friction row takes its bounds afresh from its normal row's lambda.
// Returns the change of lambda.
inline float StepLambda(const Row* rows, Row& row, float ja) {
  if (row.normal != ConstraintSolver::kNoNormal) {
    const float bound = row.mu * rows[row.normal].lambda;
    row.lower = -bound;
    row.upper = bound;
  }
  const float previous = row.lambda;
  row.lambda = ConstraintSolver::Clamp(previous + (row.eta - ja) * row.inverseDiagonal, row.lower,
                                       row.upper);
  return row.lambda - previous;
}

#if defined(__SSE2__)
inline __m128 Load(const Vector& v) { return _mm_loadu_ps(&v.x); }
inline void Store(Vector& v, __m128 value) { _mm_storeu_ps(&v.x, value); }

// One visit of a row: its speed J a, the projected step of its lambda, and
// the step's share of the two bodies' accelerations.
inline void Visit(Row* rows, Row& row, Vector* accLinear, Vector* accAngular) {
  const uint32_t a = row.indexA, b = row.indexB;
  const JacobianRow& j = row.jacobian;
  const JacobianRow& m = row.mass;
  const __m128 linA = Load(accLinear[a]), angA = Load(accAngular[a]);
  __m128 linB = Load(accLinear[b]), angB = Load(accAngular[b]);
  __m128 sum = _mm_add_ps(
      _mm_add_ps(_mm_mul_ps(Load(j.linearA), linA), _mm_mul_ps(Load(j.angularA), angA)),
      _mm_add_ps(_mm_mul_ps(Load(j.linearB), linB), _mm_mul_ps(Load(j.angularB), angB)));
  sum = _mm_add_ps(sum, _mm_movehl_ps(sum, sum));
  sum = _mm_add_ss(sum, _mm_shuffle_ps(sum, sum, 1));
  const float ja = _mm_cvtss_f32(sum);
  const __m128 d = _mm_set1_ps(StepLambda(rows, row, ja));
  Store(accLinear[a], _mm_add_ps(linA, _mm_mul_ps(Load(m.linearA), d)));
  Store(accAngular[a], _mm_add_ps(angA, _mm_mul_ps(Load(m.angularA), d)));
  // A row on one body twice (A = B) adds both halves to it.
  if (b == a) linB = Load(accLinear[b]), angB = Load(accAngular[b]);
  Store(accLinear[b], _mm_add_ps(linB, _mm_mul_ps(Load(m.linearB), d)));
  Store(accAngular[b], _mm_add_ps(angB, _mm_mul_ps(Load(m.angularB), d)));
}
#else
inline void Visit(Row* rows, Row& row, Vector* accLinear, Vector* accAngular) {
  const uint32_t a = row.indexA, b = row.indexB;
  const float ja =
      RowDot(row.jacobian, accLinear[a], accAngular[a], accLinear[b], accAngular[b]);
  const float delta = StepLambda(rows, row, ja);
  const JacobianRow& m = row.mass;
  accLinear[a] += m.linearA * delta;
  accAngular[a] += m.angularA * delta;
  accLinear[b] += m.linearB * delta;
  accAngular[b] += m.angularB * delta;
}
#endif

}  // namespace

void ConstraintSolver::ClearRows() {
  rows.clear();
  bodyMap.clear();
  bias.clear();
  push.clear();
  frictionOf.clear();
}

void ConstraintSolver::Reset() {
  ClearRows();
  cache.Clear();
}

void ConstraintSolver::AddRow(const JacobianRow& j, const RowBodies& bodies, float rowBias,
                              float rowLower, float rowUpper, float rowPush) {
  Row row;
  row.jacobian = j;
  row.lower = rowLower;
  row.upper = rowUpper;
  row.indexA = bodies.indexA;
  row.indexB = bodies.indexB;
  rows.push_back(row);
  bodyMap.push_back(bodies);
  bias.push_back(rowBias);
  push.push_back(rowPush);
  frictionOf.push_back(kNoNormal);
}

void ConstraintSolver::AddFrictionRow(const JacobianRow& j, const RowBodies& bodies,
                                      uint32_t normalRow, float mu) {
  AddRow(j, bodies, 0.0f, 0.0f, 0.0f);
  rows.back().normal = normalRow;
  rows.back().mu = mu;
  // A contact's two friction rows are added one after the other.
  if (normalRow < frictionOf.size() && frictionOf[normalRow] == kNoNormal)
    frictionOf[normalRow] = static_cast<uint32_t>(rows.size() - 1);
}

void ConstraintSolver::AddRows(const ConstraintRows& added, const RowBodies& bodies,
                               float biasScale) {
  for (size_t i = 0; i < added.Size(); ++i) {
    AddRow(added.jacobian[i], bodies, added.bias[i] * biasScale, added.lower[i], added.upper[i]);
  }
}

WarmStartKey ConstraintSolver::MakeKey(const RowBodies& bodies) {
  WarmStartKey key;
  if (bodies.indexA >= bodies.indexB) {
    key.indexHigh = bodies.indexA;
    key.featureHigh = bodies.featureA;
    key.indexLow = bodies.indexB;
    key.featureLow = bodies.featureB;
  } else {
    key.indexHigh = bodies.indexB;
    key.featureHigh = bodies.featureB;
    key.indexLow = bodies.indexA;
    key.featureLow = bodies.featureA;
  }
  return key;
}

void ConstraintSolver::Sweep(int iterations) {
  Row* const all = rows.data();
  const size_t count = rows.size();
  for (int sweep = 0; sweep < iterations; ++sweep) {
    for (size_t i = 0; i < count; ++i) Visit(all, all[i], accLinear.data(), accAngular.data());
  }
}

void ConstraintSolver::Solve(std::vector<RigidBody>& bodies, float dt, float impulseScale,
                             int iterations, bool warmStart, int relaxIterations) {
  const size_t bodyCount = bodies.size();
  const size_t rowCount = rows.size();
  const float invDt = 1.0f / dt;

  // 1. Free accelerations: where the bodies would go with no constraint.
  freeLinear.resize(bodyCount);
  freeAngular.resize(bodyCount);
  accLinear.assign(bodyCount, Vector());
  accAngular.assign(bodyCount, Vector());
  for (size_t b = 0; b < bodyCount; ++b) {
    const RigidBody& body = bodies[b];
    freeLinear[b] = body.linearVelocity * invDt + body.force * body.inverseMass;
    freeAngular[b] = body.angularVelocity * invDt + body.inverseWorldInertia * body.torque;
  }

  // 2, 3. eta = xi/dt - J V, B = M^-1 J^T and d = J B, the row's effective
  // inverse mass, kept as 1/d: a row with d = 0 gets an infinite or NaN
  // step, which its bounds clamp. Once per step.
  startLambda.assign(rowCount, 0.0f);
  for (size_t i = 0; i < rowCount; ++i) {
    Row& row = rows[i];
    const JacobianRow& j = row.jacobian;
    row.eta = bias[i] * invDt - RowDot(j, freeLinear[row.indexA], freeAngular[row.indexA],
                                       freeLinear[row.indexB], freeAngular[row.indexB]);
    const RigidBody& a = bodies[row.indexA];
    const RigidBody& b = bodies[row.indexB];
    JacobianRow& m = row.mass;
    m.linearA = j.linearA * a.inverseMass;
    m.angularA = a.inverseWorldInertia * j.angularA;
    m.linearB = j.linearB * b.inverseMass;
    m.angularB = b.inverseWorldInertia * j.angularB;
    row.inverseDiagonal = 1.0f / RowDot(j, m.linearA, m.angularA, m.linearB, m.angularB);
    row.lambda = 0.0f;
  }

  // 4. Start from the cached lambdas of young entries; then age every entry.
  // The keys and the slots found are kept for the inserts of step 8.
  if (warmStart) {
    cache.Unpark(resting);
    contactRows.clear();
    rowKeys.clear();
    for (size_t i = 0; i < rowCount; ++i) {
      if (!bodyMap[i].isContact) continue;
      contactRows.push_back(static_cast<uint32_t>(i));
      rowKeys.push_back(MakeKey(bodyMap[i]));
    }
    cache.Reserve(rowKeys.size());  // no growth before step 8, so slots stay valid
    rowSlots.resize(rowKeys.size());
    constexpr size_t kAhead = 8;  // keys prefetched ahead
    for (size_t c = 0; c < rowKeys.size(); ++c) {
      if (c + kAhead < rowKeys.size()) cache.Prefetch(rowKeys[c + kAhead]);
      WarmStartEntry entry;
      if (cache.Find(rowKeys[c], entry, rowSlots[c]) && entry.age < kWarmStartMaxAge) {
        const uint32_t i = contactRows[c];
        rows[i].lambda = startLambda[i] = entry.lambdas.row[0];
        const uint32_t f = frictionOf[i];
        if (f != kNoNormal) {
          rows[f].lambda = startLambda[f] = entry.lambdas.row[1];
          rows[f + 1].lambda = startLambda[f + 1] = entry.lambdas.row[2];
        }
      }
    }
    cache.AgeAll();
  }

  // 5. The constraint acceleration of the starting lambdas, a = sum lambda B.
  for (const Row& row : rows) {
    if (row.lambda == 0.0f) continue;
    const JacobianRow& m = row.mass;
    accLinear[row.indexA] += m.linearA * row.lambda;
    accAngular[row.indexA] += m.angularA * row.lambda;
    accLinear[row.indexB] += m.linearB * row.lambda;
    accAngular[row.indexB] += m.angularB * row.lambda;
  }

  // 6. Gauss-Seidel sweeps, each lambda projected on its bounds; then the
  // relax sweeps, without the push-apart biases.
  Sweep(iterations);
  if (relaxIterations > 0) {
    biasedLinear = accLinear;
    for (size_t i = 0; i < rowCount; ++i) rows[i].eta -= std::max(bias[i], 0.0f) * invDt;
    Sweep(relaxIterations);
  }

  // 7. Apply the response to the velocities.
  const float scale = impulseScale * dt;
  for (size_t b = 0; b < bodyCount; ++b) {
    bodies[b].linearVelocity += accLinear[b] * scale;
    bodies[b].angularVelocity += accAngular[b] * scale;
  }

  // 8. Remember every contact's lambda for the next step. Then drop the
  // entries of contacts gone for too long.
  if (warmStart) {
    for (size_t c = 0; c < rowKeys.size(); ++c) {
      const uint32_t i = contactRows[c], f = frictionOf[i];
      WarmStartLambdas stored;
      stored.row[0] = rows[i].lambda;
      if (f != kNoNormal) {
        stored.row[1] = rows[f].lambda;
        stored.row[2] = rows[f + 1].lambda;
      }
      cache.Store(rowKeys[c], stored, rowSlots[c]);
    }
    cache.EraseOld(resting);
  }

  // 9. The position pass, and the pushes of the biases.
  SolvePositions(bodyCount, dt, (iterations + 1) / 2);
  if (relaxIterations > 0) {
    pushLinear.resize(bodyCount);
    for (size_t b = 0; b < bodyCount; ++b) pushLinear[b] += (biasedLinear[b] - accLinear[b]) * scale;
  }
}

void ConstraintSolver::SolvePositions(size_t bodyCount, float dt, int iterations) {
  pushLinear.clear();
  bool any = false;
  for (const float p : push) any = any || p > 0.0f;
  if (!any) return;
  // Every contact row takes part, pushing or not, so that no push drives a
  // body into another.
  pushRows.clear();
  pushDiagonal.clear();
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!bodyMap[i].isContact) continue;
    // The pass only translates: pushed through its lever arm, a small piece
    // with little inertia would spin about its contact instead of coming
    // out, and tumble deeper. d is then the linear part of J M^-1 J^T.
    const JacobianRow& j = rows[i].jacobian;
    const JacobianRow& m = rows[i].mass;
    const float d = Dot(j.linearA, m.linearA) + Dot(j.linearB, m.linearB);
    if (!(d > 0.0f)) continue;
    pushRows.push_back(static_cast<uint32_t>(i));
    pushDiagonal.push_back(d);
  }
  pushLinear.assign(bodyCount, Vector());
  pushLambda.assign(pushRows.size(), 0.0f);
  // Same form as the velocity solve: accelerations a with J a = push / dt,
  // the push velocity being a dt.
  const float invDt = 1.0f / dt;
  for (int sweep = 0; sweep < iterations; ++sweep) {
    for (size_t c = 0; c < pushRows.size(); ++c) {
      const uint32_t i = pushRows[c];
      const Row& row = rows[i];
      const JacobianRow& j = row.jacobian;
      const float ja =
          Dot(j.linearA, pushLinear[row.indexA]) + Dot(j.linearB, pushLinear[row.indexB]);
      const float previous = pushLambda[c];
      pushLambda[c] =
          Clamp(previous + (push[i] * invDt - ja) / pushDiagonal[c], 0.0f, row.upper);
      const float delta = pushLambda[c] - previous;
      pushLinear[row.indexA] += row.mass.linearA * delta;
      pushLinear[row.indexB] += row.mass.linearB * delta;
    }
  }
  for (Vector& u : pushLinear) u *= dt;
}
