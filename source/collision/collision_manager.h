#pragma once
// CollisionManager: finds touching pairs of game objects and answers mouse
// picking, once per frame on the collision worker thread.
//
// One Update: the "Set" events; then, when collision is on, a sweep-and-prune
// broad phase over the bounding spheres along X, a filter of each candidate
// set along Z, a sphere test per pair and the separating-axis narrow phase
// (SATCollision), which appends contacts to the back buffers; then, when
// picking is on, the pick ray against every pickable bounding sphere; last,
// the flip of the double buffers under the results lock.
//
// Locks: the object lock is held while the spans are built, separately for
// each candidate set in the Z filter and again in the narrow phase, and for
// the whole pick loop. The results lock covers the flip here and the copies
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
#include "collision/pick.h"
#include "collision/sat_collision.h"
#include "collision/span.h"
#include "core/module.h"
#include "geom/mesh.h"
#include "math/bounding_box.h"
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

  // Fill the object's CollisionComp from its ModelComp's mesh. The caller
  // holds the object lock when the object is in the table. A missing
  // component is warned about and nothing changes.
  void GenerateBoundingSphere(GameObject& object);
  void GenerateCollisionHull(GameObject& object);
  // Axis-aligned box of the mesh's vertex positions times scale.
  static BoundingBox ComputeBoundingBox(const Mesh& mesh, float scale);

  SATCollision& Sat() { return *sat; }

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

  // The live object under id with its collision component, or null. Uses
  // the component found for that object while the spans were built when the
  // table still holds the same object there (see `tracked`).
  GameObject* TrackedObject(uint32_t id, CollisionComp*& comp);
  // Starts loading the stored objects and components of a set's candidates.
  void PrefetchTracked(const CandidateSet& set) const;

  // Per-frame scratch of the broad phase (collision thread only).
  std::vector<ObjectSpan> spans;
  std::vector<CandidateSet> sets;

  // The objects that entered the broad phase this frame, with the address
  // the table stored each one at and its collision component, found once
  // under the span-build lock. Every later lock (Z filter, narrow phase)
  // still looks the id up in the table and re-checks the dead flag, since
  // objects may be removed or killed between locks; only when the table
  // holds the very same stored object is the component lookup (a string
  // keyed find and a type check per candidate) skipped. The table's nodes
  // never move while stored, ids are never reused, and a stored object's
  // components are only ever added to, so the same address means the same
  // component.
  struct Tracked {
    const GameObject* object = nullptr;
    CollisionComp* comp = nullptr;
  };
  std::vector<Tracked> tracked;
  // id -> index into `tracked` plus one (0: not tracked), for ids from
  // firstTrackedId on. Ids come from a counter, so they are dense enough for
  // a plain array; see BroadPhase for the fallback when they are not.
  std::vector<uint32_t> slotById;
  uint32_t firstTrackedId = 0;
};
