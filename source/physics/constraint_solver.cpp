#include "physics/constraint_solver.h"

#include <algorithm>

namespace {

inline float RowDot(const JacobianRow& j, const Vector& linA, const Vector& angA,
                    const Vector& linB, const Vector& angB) {
  return Dot(j.linearA, linA) + Dot(j.angularA, angA) + Dot(j.linearB, linB) +
         Dot(j.angularB, angB);
}

}  // namespace

void ConstraintSolver::ClearRows() {
  jacobian.clear();
  bodyMap.clear();
  bias.clear();
  lower.clear();
  upper.clear();
  push.clear();
  normalOf.clear();
  frictionMu.clear();
  frictionOf.clear();
}

void ConstraintSolver::Reset() {
  ClearRows();
  cache.Clear();
}

void ConstraintSolver::AddRow(const JacobianRow& j, const RowBodies& bodies, float rowBias,
                              float rowLower, float rowUpper, float rowPush) {
  jacobian.push_back(j);
  bodyMap.push_back(bodies);
  bias.push_back(rowBias);
  lower.push_back(rowLower);
  upper.push_back(rowUpper);
  push.push_back(rowPush);
  normalOf.push_back(kNoNormal);
  frictionMu.push_back(0.0f);
  frictionOf.push_back(kNoNormal);
}

void ConstraintSolver::AddFrictionRow(const JacobianRow& j, const RowBodies& bodies,
                                      uint32_t normalRow, float mu) {
  AddRow(j, bodies, 0.0f, 0.0f, 0.0f);
  normalOf.back() = normalRow;
  frictionMu.back() = mu;
  // A contact's two friction rows are added one after the other.
  if (normalRow < frictionOf.size() && frictionOf[normalRow] == kNoNormal)
    frictionOf[normalRow] = static_cast<uint32_t>(jacobian.size() - 1);
}

void ConstraintSolver::AddRows(const ConstraintRows& rows, const RowBodies& bodies,
                               float biasScale) {
  for (size_t i = 0; i < rows.Size(); ++i) {
    AddRow(rows.jacobian[i], bodies, rows.bias[i] * biasScale, rows.lower[i], rows.upper[i]);
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
  const size_t rowCount = jacobian.size();
  for (int sweep = 0; sweep < iterations; ++sweep) {
    for (size_t i = 0; i < rowCount; ++i) {
      const RowBodies& map = bodyMap[i];
      const float previous = lambda[i];
      if (normalOf[i] != kNoNormal) {
        const float bound = frictionMu[i] * lambda[normalOf[i]];
        lower[i] = -bound;
        upper[i] = bound;
      }
      const float ja = RowDot(jacobian[i], accLinear[map.indexA], accAngular[map.indexA],
                              accLinear[map.indexB], accAngular[map.indexB]);
      const float candidate = previous + (eta[i] - ja) / diagonal[i];
      lambda[i] = Clamp(candidate, lower[i], upper[i]);
      const float delta = lambda[i] - previous;
      const JacobianRow& m = massJacobian[i];
      accLinear[map.indexA] += m.linearA * delta;
      accAngular[map.indexA] += m.angularA * delta;
      accLinear[map.indexB] += m.linearB * delta;
      accAngular[map.indexB] += m.angularB * delta;
    }
  }
}

void ConstraintSolver::Solve(std::vector<RigidBody>& bodies, float dt, float impulseScale,
                             int iterations, bool warmStart, int relaxIterations) {
  const size_t bodyCount = bodies.size();
  const size_t rowCount = jacobian.size();
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

  // 2, 3. eta = xi/dt - J V and B = M^-1 J^T, once per step.
  massJacobian.resize(rowCount);
  diagonal.resize(rowCount);
  eta.resize(rowCount);
  lambda.assign(rowCount, 0.0f);
  startLambda.assign(rowCount, 0.0f);
  for (size_t i = 0; i < rowCount; ++i) {
    const JacobianRow& j = jacobian[i];
    const RowBodies& map = bodyMap[i];
    eta[i] = bias[i] * invDt - RowDot(j, freeLinear[map.indexA], freeAngular[map.indexA],
                                      freeLinear[map.indexB], freeAngular[map.indexB]);
    const RigidBody& a = bodies[map.indexA];
    const RigidBody& b = bodies[map.indexB];
    JacobianRow& m = massJacobian[i];
    m.linearA = j.linearA * a.inverseMass;
    m.angularA = a.inverseWorldInertia * j.angularA;
    m.linearB = j.linearB * b.inverseMass;
    m.angularB = b.inverseWorldInertia * j.angularB;
  }

  // 4. Start from the cached lambdas of young entries; then age every entry.
  // The keys and the slots found are kept for the inserts of step 9.
  if (warmStart) {
    cache.Unpark(resting);
    contactRows.clear();
    rowKeys.clear();
    for (size_t i = 0; i < rowCount; ++i) {
      if (!bodyMap[i].isContact) continue;
      contactRows.push_back(static_cast<uint32_t>(i));
      rowKeys.push_back(MakeKey(bodyMap[i]));
    }
    cache.Reserve(rowKeys.size());  // no growth before step 9, so slots stay valid
    rowSlots.resize(rowKeys.size());
    constexpr size_t kAhead = 8;  // keys prefetched ahead
    for (size_t c = 0; c < rowKeys.size(); ++c) {
      if (c + kAhead < rowKeys.size()) cache.Prefetch(rowKeys[c + kAhead]);
      WarmStartEntry entry;
      if (cache.Find(rowKeys[c], entry, rowSlots[c]) && entry.age < kWarmStartMaxAge) {
        const uint32_t i = contactRows[c];
        lambda[i] = entry.lambdas.row[0];
        const uint32_t f = frictionOf[i];
        if (f != kNoNormal) {
          lambda[f] = entry.lambdas.row[1];
          lambda[f + 1] = entry.lambdas.row[2];
          startLambda[f] = lambda[f];
          startLambda[f + 1] = lambda[f + 1];
        }
        startLambda[i] = lambda[i];
      }
    }
    cache.AgeAll();
  }

  // 5. The constraint acceleration of the starting lambdas, a = sum lambda B.
  for (size_t i = 0; i < rowCount; ++i) {
    if (lambda[i] == 0.0f) continue;
    const RowBodies& map = bodyMap[i];
    const JacobianRow& m = massJacobian[i];
    accLinear[map.indexA] += m.linearA * lambda[i];
    accAngular[map.indexA] += m.angularA * lambda[i];
    accLinear[map.indexB] += m.linearB * lambda[i];
    accAngular[map.indexB] += m.angularB * lambda[i];
  }

  // 6. d = J B, the row's effective inverse mass.
  for (size_t i = 0; i < rowCount; ++i) {
    const JacobianRow& m = massJacobian[i];
    diagonal[i] = RowDot(jacobian[i], m.linearA, m.angularA, m.linearB, m.angularB);
  }

  // 7. Gauss-Seidel sweeps, rows in order, each lambda projected on its
  // bounds; then the relax sweeps, without the push-apart biases.
  Sweep(iterations);
  if (relaxIterations > 0) {
    biasedLinear = accLinear;
    for (size_t i = 0; i < rowCount; ++i) eta[i] -= std::max(bias[i], 0.0f) * invDt;
    Sweep(relaxIterations);
  }

  // 8. Apply the response to the velocities.
  const float scale = impulseScale * dt;
  for (size_t b = 0; b < bodyCount; ++b) {
    bodies[b].linearVelocity += accLinear[b] * scale;
    bodies[b].angularVelocity += accAngular[b] * scale;
  }

  // 9. Remember every contact's lambda for the next step. Then drop the
  // entries of contacts gone for too long.
  if (warmStart) {
    for (size_t c = 0; c < rowKeys.size(); ++c) {
      const uint32_t i = contactRows[c], f = frictionOf[i];
      WarmStartLambdas stored;
      stored.row[0] = lambda[i];
      if (f != kNoNormal) {
        stored.row[1] = lambda[f];
        stored.row[2] = lambda[f + 1];
      }
      cache.Store(rowKeys[c], stored, rowSlots[c]);
    }
    cache.EraseOld(resting);
  }

  // 10. The position pass, and the pushes of the biases.
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
  for (size_t i = 0; i < jacobian.size(); ++i) {
    if (!bodyMap[i].isContact) continue;
    // The pass only translates: pushed through its lever arm, a small piece
    // with little inertia would spin about its contact instead of coming
    // out, and tumble deeper. d is then the linear part of J M^-1 J^T.
    const JacobianRow& j = jacobian[i];
    const JacobianRow& m = massJacobian[i];
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
      const RowBodies& map = bodyMap[i];
      const JacobianRow& j = jacobian[i];
      const float ja = Dot(j.linearA, pushLinear[map.indexA]) + Dot(j.linearB, pushLinear[map.indexB]);
      const float previous = pushLambda[c];
      pushLambda[c] = Clamp(previous + (push[i] * invDt - ja) / pushDiagonal[c], 0.0f, upper[i]);
      const float delta = pushLambda[c] - previous;
      const JacobianRow& m = massJacobian[i];
      pushLinear[map.indexA] += m.linearA * delta;
      pushLinear[map.indexB] += m.linearB * delta;
    }
  }
  for (Vector& u : pushLinear) u *= dt;
}
