#pragma once
// PhysicsWorld: everything the Physics module steps, as one plain object that
// tests and benchmarks can build without the engine's singletons: the body
// array with its id/index map, the forces and joints, the constraint solver
// with its warm-start cache, and the id of the ground plane.
//
// One physics frame is Sync (under the object lock), Step (on private data
// only) and WriteBack (under the object lock again).
//
// Sleeping. A body is still while it stays within kSleepDrift and kSleepTurn
// of where it was when it last moved away: what counts is how far it goes,
// not its velocity at each step, so the jitter of a body wedged in a pile
// (velocities that change sign from step to step) does not keep it awake,
// while a body creeping away does. A body still for kTimeToSleep and slower
// than kSleepSpeed is settled.
//
// A settled body falls asleep unless an unsettled awake body may be holding
// it up, directly or through other settled bodies: one beneath it (the
// contact normal from the holder points up, see kHoldNormalY) or tied to it
// by a joint or spring. So the still core of a heap sleeps while a few
// bodies on its surface still creep or tumble, and one moving body no longer
// keeps a whole heap awake; nothing sleeps above a body that may move away
// from under it. Bodies falling asleep together or onto sleeping bodies
// form one island with them (joined by contacts, the ground and immovable
// bodies excepted, joints and springs). Asleep: velocities zero, no rows, no
// integration, and the collision flag `resting` set, so the narrow phase
// skips pairs of two resting objects; awake bodies meet it as immovable.
// The lambdas of its contacts are kept (see ConstraintSolver::resting), so
// an island that wakes starts from the forces that held it.
//
// A sleeping island wakes whole when an awake body runs into one of its
// bodies at kSleepSpeed or faster (along the contact normal: moving away or
// sliding along does not count) or is tied to one and moves that fast; when
// an awake body touches it just after being added, moved or given a
// velocity from outside, or while unsettled and holding it up;
// when one of its bodies is moved, given a velocity or a new mass, has
// its `sleeping` flag cleared, or is removed. A woken body is held in place,
// acting as an immovable body, for kWakeHoldSteps steps: the collision
// frames that ran while it rested produced none of its contacts with other
// resting objects.

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
  // Sleeping: a body is settled once it has stayed within these distances
  // (units, and radians of turn) for kTimeToSleep seconds, and is slower
  // than kSleepSpeed (units/s) at that moment. A small piece may turn
  // further, as far as moves its mass (at its radius of gyration) by
  // kSleepDrift, up to kMaxSleepTurn: a sliver wedged in a heap rocks by
  // more than kSleepTurn while hardly moving at all.
  static constexpr float kSleepDrift = 0.08f;
  static constexpr float kSleepTurn = 0.08f;
  static constexpr float kMaxSleepTurn = 0.5f;
  static constexpr float kSleepSpeed = 0.5f;
  static constexpr float kTimeToSleep = 0.5f;
  // A body B touching a body S may be holding S up when the contact normal
  // from B to S points up: its y component (gravity pulls along -y) is above
  // this, within about 73 degrees of straight up. Contacts side by side are
  // left out: they would spread the hold of one creeping body sideways
  // through a whole heap, and a body beside another does not rest on it.
  static constexpr float kHoldNormalY = 0.3f;
  // A body whose position (units) or velocities (units/s, rad/s) differ from
  // the last step's by more than this at the sync was changed from outside
  // (dragged, pushed), and wakes what it touches however slowly it moves.
  static constexpr float kOutsideChange = 1e-4f;
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
  // changed or removed wakes its island. A body whose mass or inertia
  // changed has a new shape (a cut object keeps its back half): the contacts
  // found before the next step's frame time, and its warm-start lambdas, are
  // for the old shape and are dropped. Call with the table locked.
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
  // their contact normals, and the ground's index.
  void FindTies(const std::vector<ContactManifold>& manifolds,
                const std::vector<ContactPoint>& points);
  // Wakes (and holds) every sleeping body of the islands in wakeIslands.
  void WakeIslands();
  // Sleeping bodies touched or tied by awake dynamic ones wake, as the
  // header comment says.
  void WakeTouched();
  // Settled bodies that no unsettled body may drop fall asleep.
  void FallAsleep();
  // Whether the awake body `mover` of tie t may be holding up the other
  // body of the tie (see kHoldNormalY); joints and springs always may.
  bool MayHoldUp(size_t tie, uint32_t mover) const;
  bool Settled(uint32_t index) const;
  // cos(t / 2) of the turn t a body may make and still be still.
  static float StillTurnCos(const RigidBody& body);
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
  // Per tie: the unit contact normal from its first body to its second, or
  // zero for a joint, a spring or a manifold without points.
  std::vector<Vector> tieNormals;
  std::vector<uint32_t> islandParent;    // union-find over body indices
  std::vector<bool> settled;             // per body index: Settled, this step
  std::vector<bool> held;                // per body index: may lose its support
  std::vector<uint32_t> holdStart;       // per body index: its first entry in holdTargets
  std::vector<uint32_t> holdTargets;     // the settled bodies each body may hold up
  std::vector<uint32_t> holdFill;        // scratch of the counting sort
  std::vector<uint32_t> holdQueue;       // breadth-first walk of the holds
  boost::unordered_map<uint32_t, uint32_t> islandFirst;  // sleeping island: a body index of it
};
