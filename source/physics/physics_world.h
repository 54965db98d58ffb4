#pragma once
// PhysicsWorld: everything the Physics module steps, as one plain object that
// tests and benchmarks can build without the engine's singletons: the body
// array with its id/index map, the forces and joints, the constraint solver
// with its warm-start cache, and the id of the ground plane.
//
// One physics frame is Sync (under the object lock), Step (on private data
// only) and WriteBack (under the object lock again).
//
// Sleeping. Bodies joined by contacts (the ground and immovable bodies
// excepted), joints or springs form an island. A body is still while it
// stays within kSleepDrift and kSleepTurn of where it was when it last moved
// away: what counts is how far it goes, not its velocity at each step, so
// the jitter of a body wedged in a pile (velocities that change sign from
// step to step) does not keep it awake, while a body creeping away does.
// When every body of an island has been still for kTimeToSleep, the island
// falls asleep: velocities zero, no rows, no
// integration, and the collision flag `resting` set, so the narrow phase
// skips pairs of two resting objects. A sleeping island wakes whole when an
// awake body touches (or is tied to) one of its bodies, when one of its
// bodies is moved, given a velocity or a new mass, has its `sleeping` flag
// cleared, or is removed. A woken body is held in place, acting as an
// immovable body, for kWakeHoldSteps steps: the collision frames that ran
// while it rested produced none of its contacts with other resting objects.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <boost/unordered_map.hpp>

#include "collision/contact.h"
#include "objects/game_object.h"
#include "physics/body_index_map.h"
#include "physics/constraint.h"
#include "physics/constraint_solver.h"
#include "physics/force.h"
#include "physics/rigid_body.h"

class PhysicsWorld {
 public:
  using ObjectTable = boost::unordered_map<uint32_t, GameObject>;

  static constexpr float kTimeStep = 1.0f / 60.0f;  // seconds, fixed
  // Fraction of a position error corrected per step (Baumgarte factor); the
  // bias of a row with error e is e * kBaumgarte / (2 dt).
  static constexpr float kBaumgarte = 0.6f;
  // Contacts settle this far (units) beyond the two hull margins along the
  // normal, so the meshes rest touching, overlapping by no more than this:
  // a contact kept slightly deep stays alive from one step to the next.
  static constexpr float kContactSlop = 0.01f;
  // The separating speed a contact row may ask for to undo penetration,
  // units/s: the speed stays with the bodies, so it is kept small (a body
  // pushed out at this speed rises 1.25 cm at most).
  static constexpr float kMaxBiasSpeed = 0.5f;
  // Penetration deeper than this beyond the target (units) is also undone
  // by the solver's position pass, which moves bodies without giving them
  // speed, at up to kMaxCorrectionSpeed (units/s). Resting contacts stay
  // shallower: in a pile, pushes that cannot all be met would only shuffle
  // the bodies about.
  static constexpr float kDeepPenetration = 0.05f;
  static constexpr float kMaxCorrectionSpeed = 2.0f;
  static constexpr float kMaxContactForce = 1e8f;  // upper bound of a contact row
  // Gauss-Seidel sweeps per step. Three leave a pile of pieces jittering
  // (light pieces wedged between heavy ones most of all) long after it
  // should rest; five let a few pieces rest, but a heap of 300 bodies keeps
  // creeping at 0.1-0.3 units/s for a minute and more, and one creeping body
  // keeps its whole island awake. Ten bring that heap to sleep within 10 s,
  // after which it costs almost nothing.
  static constexpr int kSolverIterations = 10;
  // Sleeping: an island sleeps once all its bodies have stayed within these
  // distances (units, and radians of turn) for kTimeToSleep seconds, and
  // are slower than kSleepSpeed (units/s) at that moment.
  static constexpr float kSleepDrift = 0.08f;
  static constexpr float kSleepTurn = 0.08f;
  static constexpr float kSleepSpeed = 0.5f;
  static constexpr float kTimeToSleep = 0.5f;
  // Steps a woken body is held in place: the collision frame running beside
  // the waking step and the next may still skip it.
  static constexpr uint8_t kWakeHoldSteps = 2;

  PhysicsWorld() = default;
  PhysicsWorld(const PhysicsWorld&) = delete;
  PhysicsWorld& operator=(const PhysicsWorld&) = delete;

  // Copies the state of every live object with a PhysicsComp into its body,
  // giving new objects a body at the next index. Bodies whose object is dead,
  // has disappeared from the table, or lost its PhysicsComp are erased, and
  // the higher indices move down. Forces and joints that name an object no
  // longer in the table are dropped. Zeroes every force accumulator. A
  // sleeping body whose object nobody changed is left as it is; one that was
  // changed or removed wakes its island. Call with the table locked.
  void Sync(ObjectTable& objects);

  // One step of dt at time t: waking and sleeping, contact, friction and
  // joint rows, forces, the solve, integration and renormalisation of the
  // awake bodies. Contacts naming an object without a body are skipped.
  void Step(double time, float dt, const std::vector<ContactManifold>& manifolds,
            const std::vector<ContactPoint>& points);

  // Adds the change of the last step (body minus snapshot) onto every object
  // that still exists and onto its PhysicsComp, so changes made by other
  // threads meanwhile survive. Writes the sleep state into the PhysicsComp
  // (unless another thread changed that flag during the step) and the
  // CollisionComp's `resting`. Call with the table locked.
  void WriteBack(ObjectTable& objects);

  bool HasBody(uint32_t objectId) const { return indexMap.Has(objectId); }
  uint32_t BodyIndex(uint32_t objectId) const { return indexMap.Index(objectId); }

  void AddForce(std::unique_ptr<Force> force) { forces.push_back(std::move(force)); }
  void AddJoint(std::unique_ptr<Constraint> joint) { joints.push_back(std::move(joint)); }

  // Forgets bodies, forces, joints, the warm-start cache and the ground plane.
  void Reset();

  // The ground plane's object id, looked up by kGroundPlaneName at the
  // first sync that sees it and again whenever that object is gone.
  bool HasGround() const { return groundKnown; }
  uint32_t GroundId() const { return groundId; }

  std::vector<RigidBody> bodies;
  BodyIndexMap indexMap;
  std::vector<std::unique_ptr<Force>> forces;
  std::vector<std::unique_ptr<Constraint>> joints;
  ConstraintSolver solver;

  // Neither solved nor integrated this step: asleep, or just woken and held.
  static bool Frozen(const RigidBody& body) { return body.sleeping || body.hold > 0; }

 private:
  static constexpr uint32_t kNoBody = ~0u;

  void AddContactRows(const ContactManifold& manifold, uint32_t indexA, uint32_t indexB,
                      const std::vector<ContactPoint>& points, float biasFactor);
  // Bodies that can join an island: not the ground, not immovable.
  bool Dynamic(uint32_t index) const;
  // The body index pairs of the step's manifolds, joints and springs (ties),
  // and the ground's index.
  void FindTies(const std::vector<ContactManifold>& manifolds);
  // Wakes (and holds) every sleeping body of the islands in wakeIslands.
  void WakeIslands();
  // Sleeping bodies touched or tied by awake dynamic ones wake.
  void WakeTouched();
  // Islands of awake bodies; those still for kTimeToSleep fall asleep.
  void FallAsleep();
  uint32_t Root(uint32_t index);
  void Join(uint32_t a, uint32_t b);

  bool groundKnown = false;
  uint32_t groundId = 0;
  std::vector<bool> seen;     // per body index: found alive in this sync
  ConstraintRows scratchRows;  // reused by every friction and joint row build
  std::vector<uint32_t> wakeIslands;     // islands to wake in this step
  uint32_t groundIndex = kNoBody;        // the ground's body in this step
  std::vector<std::pair<uint32_t, uint32_t>> ties;  // body index pairs of this step
  std::vector<uint32_t> manifoldTies;    // per manifold: its entry in ties, or kNoBody
  std::vector<uint32_t> islandParent;    // union-find over body indices
  std::vector<float> islandStill;        // per root: least stillTime of its bodies
};
