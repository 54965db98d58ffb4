#pragma once
// ConstraintSolver: projected Gauss-Seidel over one step's rows, in the
// force/acceleration form.
//
// For the free accelerations V = (v/dt + m^-1 F, w/dt + I^-1 tau) it finds
// multipliers lambda (forces) with J M^-1 J^T lambda = eta, eta = xi/dt - J V,
// each lambda clamped to its row's bounds, and adds dt M^-1 J^T lambda to the
// velocities, so that after integration J v = xi for every active row.
//
// Contact rows and their friction rows are warm-started from a cache keyed
// by the two (body index, feature) pairs of the contact, larger body index
// first, so swapping the bodies of a contact keeps its key; one entry holds
// the point's normal and friction lambdas. Every step stores each contact's
// lambdas, so a contact that persists starts from the lambdas it ended the
// step before with. An entry is used while its age (solves since it was
// stored) is below 5: a contact that flickers for a step or two keeps its
// start. It is erased once its age passes 10.
//
// Starting every step from the last solution is what lets a few iterations
// hold a pile still; an entry made once and then kept unchanged (used for
// five steps, then six cold steps) lets the contact forces sag and spring
// back every eleven steps, and a pile never stops jittering.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "physics/constraint.h"
#include "physics/rigid_body.h"
#include "physics/warm_start_cache.h"

// Which bodies a row acts on; features only for contact rows (0 otherwise).
// A contact's non-penetration row has isContact set; it is warm-started,
// and so are the friction rows added for it (AddFrictionRow).
struct RowBodies {
  uint32_t indexA = 0;
  uint32_t featureA = 0;
  uint32_t indexB = 0;
  uint32_t featureB = 0;
  bool isContact = false;
};

class ConstraintSolver {
 public:
  static constexpr int32_t kWarmStartMaxAge = 5;  // use an entry while its age is below this

  // Forgets the rows of the previous step (the cache stays).
  void ClearRows();
  // Forgets the rows and the warm-start cache.
  void Reset();
  // Renumbers the bodies of the warm-start cache (see
  // WarmStartCache::RenumberBodies).
  void RenumberBodies(const std::vector<uint32_t>& newIndex) { cache.RenumberBodies(newIndex); }

  // `push` (units/s, >= 0) is the separating speed at which a contact row's
  // penetration is to be corrected; see the position pass of Solve.
  void AddRow(const JacobianRow& j, const RowBodies& bodies, float bias, float lower,
              float upper, float push = 0.0f);
  // A friction row of the contact whose non-penetration row is `normalRow`
  // (added before it): Coulomb's law, |lambda| <= mu lambda_normal, with the
  // bound taken afresh from the normal row's current lambda at every visit,
  // so a contact that presses harder holds harder and one that lets go
  // lets go of its friction too.
  void AddFrictionRow(const JacobianRow& j, const RowBodies& bodies, uint32_t normalRow, float mu);
  // Appends every row of `rows` with the same bodies, each bias times biasScale.
  void AddRows(const ConstraintRows& rows, const RowBodies& bodies, float biasScale);

  // Solves the current rows and adds the response into the bodies' velocities:
  // v += (impulseScale dt) a_lin, w += (impulseScale dt) a_ang.
  //
  // Then, when some contact row has a push, the position pass (split
  // impulse): the contact rows are solved again, from rest, without forces
  // and for translation only, for J u = push with lambda >= 0, giving each
  // body a push velocity u that the step adds for the position update only.
  // Penetration is undone by moving the bodies, not by giving them a speed
  // that would outlast the overlap and throw them apart.
  //
  // With relaxIterations > 0, the sweeps are followed by as many relax
  // sweeps, in which the rows ask for no correction of penetration (the
  // bias of a row that pushes apart is dropped; a contact still short of
  // touching keeps its limit on the closing speed). The velocities keep the
  // relaxed response; the linear part of the difference, which only undoes
  // penetration, is given back as a push velocity that moves the bodies in
  // this step alone. A correction that stayed in the velocities would carry
  // the bodies on past it, and a heap would never stop trembling. Its
  // turning part is dropped, as in the position pass: turned out of an
  // overlap through its lever arm, a round piece resting on its facets
  // rocks for ever.
  void Solve(std::vector<RigidBody>& bodies, float dt, float impulseScale, int iterations,
             bool warmStart, int relaxIterations = 0);

  // The push velocity of the last Solve (zero without pushes), per body:
  // add it for the position update only.
  Vector PushVelocity(size_t body) const {
    return body < pushLinear.size() ? pushLinear[body] : Vector();
  }

  size_t RowCount() const { return rows.size(); }
  float Lambda(size_t row) const { return rows[row].lambda; }
  // The lambda the row started the iterations with (the warm-start value, or 0).
  float StartLambda(size_t row) const { return startLambda[row]; }

  static WarmStartKey MakeKey(const RowBodies& bodies);
  // The cache entry under key, if any.
  bool FindCached(const WarmStartKey& key, WarmStartEntry& out) const {
    return cache.Find(key, out);
  }
  size_t CacheSize() const { return cache.Size(); }

  // Clamp to [lower, upper] in which an unordered value (NaN) falls through
  // to the lower bound: a row with J M^-1 J^T = 0 (an all-zero friction row)
  // gives 0 x 1/0 and must end at its lower bound, 0.
  static float Clamp(float value, float lower, float upper) {
    if (!(value > lower)) return lower;
    if (value > upper) return upper;
    return value;
  }

  // Per body index, set by the caller before Solve: nonzero for a body at
  // rest that no row moves (asleep, the ground, an immovable body). The
  // cached lambdas of a contact between two resting bodies are set aside
  // instead of erased, and taken up again by the first Solve in which
  // either body no longer rests (see WarmStartCache).
  std::vector<uint8_t> resting;

  // Per row, the two bodies and features it names.
  std::vector<RowBodies> bodyMap;

  static constexpr uint32_t kNoNormal = ~0u;

  // One row as the sweeps read it: everything a visit needs but the bodies'
  // accelerations, in one place, so that a sweep reads one array instead of
  // a dozen. A heap of 1000 pieces has about 29,000 rows, 5 MB, which every
  // sweep streams from memory: one stream is what the processor prefetches
  // best (BM_HeapSolve: 25 ns per row visit, 29 with parallel arrays; taking
  // the rows of several manifolds in turn, to overlap their sums, was
  // slower there, as it reads several streams).
  struct Row {
    JacobianRow jacobian;
    JacobianRow mass;  // B = M^-1 J^T
    float eta = 0.0f;  // xi/dt - J V
    float inverseDiagonal = 0.0f;  // 1 / (J B)
    float lambda = 0.0f;
    float lower = 0.0f;
    float upper = 0.0f;
    float mu = 0.0f;                // friction rows: bound = mu x lambda of `normal`
    uint32_t normal = kNoNormal;    // a friction row's normal row
    uint32_t indexA = 0;
    uint32_t indexB = 0;
  };

 private:
  void SolvePositions(size_t bodyCount, float dt, int iterations);
  // `iterations` Gauss-Seidel sweeps over every row from the current lambdas.
  void Sweep(int iterations);

  std::vector<Row> rows;
  // Per row, outside the sweeps: the bias and push asked for, and for a
  // normal row its first friction row (the second follows it) or kNoNormal.
  std::vector<float> bias;
  std::vector<float> push;
  std::vector<uint32_t> frictionOf;

  // Per-step scratch, rebuilt by every Solve.
  std::vector<Vector> freeLinear;   // V, linear part, per body
  std::vector<Vector> freeAngular;  // V, angular part, per body
  std::vector<Vector> accLinear;    // a, linear part, per body
  std::vector<Vector> accAngular;   // a, angular part, per body
  std::vector<float> startLambda;
  std::vector<uint32_t> contactRows;    // the warm-started contacts' normal rows
  std::vector<WarmStartKey> rowKeys;    // their cache keys
  std::vector<size_t> rowSlots;         // where each key was found or would go
  std::vector<Vector> pushLinear;       // push velocity per body (bias and position pass)
  std::vector<Vector> biasedLinear;     // a after the biased sweeps, per body
  std::vector<uint32_t> pushRows;       // the contact rows the position pass solves
  std::vector<float> pushDiagonal;      // their d, linear part only
  std::vector<float> pushLambda;

  WarmStartCache cache;
};
