#pragma once
// CollisionManager: finds touching pairs of game objects and answers mouse
// picking, once per frame on the collision worker thread.
//
// One Update: the "Set" events; then, when collision is on, a sweep-and-prune
// broad phase along X over the bounding spheres grown by each object's
// speculative reach (SpeculativeSphere), a filter of each candidate set
// along Z, a sphere test per pair and the separating-axis narrow phase
// (SATCollision), which appends contacts to the back buffers, for pairs in
// contact and for pairs closer than their reach; then, when
// picking is on, the pick ray against every pickable bounding sphere; last,
// the flip of the double buffers under the results lock.
//
// Each object's sphere is computed once a frame, with the spans, and kept by
// id (FrameSpheres) for the Z filter and the sphere test.
//
// Locks: the object lock is held while the spans are built, again for each
// candidate set in the narrow phase, and for the whole pick loop (the Z
// filter reads only the kept spheres). The results lock covers the flip here and the copies
// in GetContacts and GetPickResults, so a reader always gets manifolds and
// points from the same frame. Update never holds the object lock and the
// results lock together, so callers may read the results with or without
// the object lock held.

#include <atomic>
#include <memory>
#include <vector>

#include <boost/thread/mutex.hpp>

#include "collision/candidate_set.h"
#include "collision/collision_comp.h"
#include "collision/contact.h"
#include "collision/double_buffer.h"
#include "collision/frame_spheres.h"
#include "collision/pick.h"
#include "collision/sat_collision.h"
#include "collision/span.h"
#include "core/module.h"
#include "objects/game_object.h"

class CollisionManager : public Module<CollisionManager> {
 public:
  CollisionManager();
  ~CollisionManager() override;

  // Registers "CollisionManager" with the event manager; switches to their
  // defaults (picking off, collision on, single contacts).
  void Init() override;
  void Update() override;
  void Kill() override;
  // "Set": copies each of the bool parameters "pickOn", "collisionOn",
  // "doMultipleContacts" that the event carries into its switch.
  void HandleEvent(Event& event) override;

  // Copies of the front buffers, under the results lock. Any thread.
  void GetContacts(std::vector<ContactManifold>& manifolds, std::vector<ContactPoint>& points);
  void GetPickResults(std::vector<PickResult>& results);
  // Replaces the ray tested by the next pick pass. Any thread.
  void SetPickRay(const PickRay& ray);

  // Switches, written by HandleEvent on the collision thread (or before the
  // worker starts); atomic so other threads may read them.
  std::atomic<bool> pickOn{false};
  std::atomic<bool> collisionOn{true};
  std::atomic<bool> doMultipleContacts{false};

 private:
  void BroadPhase();
  void NarrowPhase(const CandidateSet& set, bool multipleContacts, double time);
  void PickPass();

  boost::mutex resultsLock;
  DoubleBuffer<ContactManifold> manifoldBuffer;
  DoubleBuffer<ContactPoint> pointBuffer;
  DoubleBuffer<PickResult> pickBuffer;

  boost::mutex pickRayLock;  // the ray is written by gameplay, read here
  PickRay pickRay;

  std::unique_ptr<SATCollision> sat;

  // Per-frame scratch of the broad phase (collision thread only).
  std::vector<ObjectSpan> spans;
  FrameSpheres frameSpheres;
  std::vector<CandidateSet> sets;
};
