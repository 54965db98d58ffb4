#pragma once
// The broad phase as plain functions over bounding spheres (grown by each
// object's speculative reach), so that it can be run and checked without the
// object table:
//
//   spans along X  ->  SweepAndPrune  ->  FilterCandidates along Z  ->  SpheresOverlap
//
// CollisionManager feeds them from the game objects under the object lock.

#include <cstdint>
#include <vector>

#include "collision/candidate_set.h"
#include "collision/collision_comp.h"
#include "collision/span.h"
#include "math/quaternion.h"
#include "math/vector.h"

// A bounding sphere in world space with the pair-filter masks of its object.
struct SphereEntry {
  uint32_t objectId = 0;
  Vector center;  // w = 0
  float radius = 0.0f;
  uint32_t groupMask = 0;
  uint32_t collideMask = 0;
};

// The world sphere of an object: centre = position + orientation applied to
// the local centre, radius unchanged (the local data is already scaled).
SphereEntry WorldSphere(uint32_t objectId, const Vector& position, const Quaternion& orientation,
                        const CollisionComp& comp);

// The world sphere grown by the object's speculative reach,
// MotionReach(comp) + kSpeculativeSlack / 2: two objects whose hulls come
// within SpeculativeReach of each other have overlapping grown spheres. The
// broad phase works on these; picking on the plain ones.
SphereEntry SpeculativeSphere(uint32_t objectId, const Vector& position,
                              const Quaternion& orientation, const CollisionComp& comp);

// The sphere's extent along a unit axis: c.axis -+ radius.
ObjectSpan SpanAlong(const SphereEntry& sphere, const Vector& axis);

// Sweep and prune along the spans' axis. Sorts the spans by their start and,
// for each span in order, collects the later spans that overlap it and whose
// masks meet. Leaves one set per span in `sets` (possibly with no
// candidates), in sorted order; the sets' storage is reused from call to
// call. Two resting spans make no pair: a heap asleep costs the sweep, not
// a sphere test per neighbour.
//
// The sweep for span i stops at the first later span that starts at or after
// i's end; every span after that one starts later still. A span that starts
// exactly where i starts but has no width is skipped rather than ending the
// sweep, so degenerate spheres (radius 0) cannot hide the spans behind them.
void SweepAndPrune(std::vector<ObjectSpan>& spans, std::vector<CandidateSet>& sets);

// Keeps the candidates whose span along `axis` overlaps the set object's.
// `lookup(id, sphere)` fills the sphere of a live object and returns true,
// or returns false for an object that is gone or flagged for removal; such
// candidates are dropped, and a set whose own object is gone loses all its
// candidates.
template <class Lookup>
void FilterCandidates(CandidateSet& set, const Vector& axis, Lookup&& lookup) {
  SphereEntry sphere;
  if (!lookup(set.objectId, sphere)) {
    set.candidates.clear();
    return;
  }
  const ObjectSpan own = SpanAlong(sphere, axis);
  size_t kept = 0;
  for (size_t i = 0; i < set.candidates.size(); ++i) {
    SphereEntry other;
    if (!lookup(set.candidates[i], other)) continue;
    // Written without a branch on the outcome: about half the candidates of
    // a crowded scene pass, so a branch would be mispredicted often. The id
    // is always written at `kept` (i >= kept, so nothing unread is lost) and
    // kept only advances when the spans overlap.
    const uint32_t id = set.candidates[i];
    set.candidates[kept] = id;
    kept += SpansOverlap(own, SpanAlong(other, axis)) ? 1 : 0;
  }
  set.candidates.resize(kept);
}

// |cA - cB| - (rA + rB) < 0.
bool SpheresOverlap(const SphereEntry& a, const SphereEntry& b);
