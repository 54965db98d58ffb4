#pragma once
// PhysicsWorld: everything the Physics module steps, as one plain object that
// tests and benchmarks can build without the engine's singletons: the body
// array with its id/index map, the forces and joints, the constraint solver
// with its warm-start cache, and the id of the ground plane.
//
// One physics frame is Sync (under the object lock), Step (on private data
// only) and WriteBack (under the object lock again).
//
// Sleeping. A body is slow while none of its points goes further than
// kSleepVelocity kTimeToSleep from where it was when the window began: its
// centre, and the points at its reach (extent), which a turn moves by reach
// times the angle. Distance over a window rather than velocity at a step:
// a body pressed between two others that push it either way trembles at a
// speed that goes nowhere, and counts as slow; a piece rocking to a stop
// sweeps its rim through more than that in each swing, and does not. A body
// slow for kTimeToSleep whose support can hold it is settled. Its support holds
// it when the vertical through its centre of mass meets the region spanned
// by the contacts that may push it up or sideways (their normals into it
// point up, or level), within kSupportTolerance: a half sphere resting on
// its round side away from its balance point, or a box standing on an edge
// past its tipping point, is slow for an instant at most, and never
// settled. A body pressed from above is pinned by its load and counts as
// supported while its contacts can push it up at all.
//
// A settled body falls asleep unless an unsettled awake body may be holding
// it up, directly or through other settled bodies: one beneath it (the
// contact normal from the holder points up, see kHoldNormalY) or tied to it
// by a joint or spring. So the still core of a heap sleeps while a few
// bodies on its surface still move, and one moving body does not keep a
// whole heap awake; nothing sleeps above a body that may move away from
// under it. Bodies falling asleep together or onto sleeping bodies form one
// island with them (joined by contacts of one resting on the other, the
// ground and immovable bodies excepted, joints and springs), which sleeps and
// wakes whole. Asleep:
// velocities zero, no rows, no integration, and the collision flag
// `resting` set, so the narrow phase skips pairs of two resting objects;
// awake bodies meet it as immovable. The lambdas of its contacts are kept
// (see ConstraintSolver::resting), so an island that wakes starts from the
// forces that held it.
//
// A sleeping island wakes whole when an awake body runs into one of its
// bodies at kWakeSpeed or faster (along the contact normal: moving away or
// sliding along does not count), moves that fast while propping it up or
// aside, or is tied to one and moves that fast; when
// an awake body touches it just after being added, moved or given a
// velocity from outside, or while unsettled and holding it up; when one of
// its bodies is moved, given a velocity or a new mass, has its `sleeping`
// flag cleared, is removed, or is given a force or a joint. A woken body is
// held in place, acting as an immovable body, for kWakeHoldSteps steps: the
// collision frames that ran while it rested produced none of its contacts
// with other resting objects.

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
  static constexpr int kSolverIterations = 8;
  // Relax sweeps after them, which take the push-apart biases out of the
  // velocities (see ConstraintSolver::Solve).
  static constexpr int kRelaxIterations = 2;
  // Sleeping: a body is slow while its points keep within this speed on
  // average over kTimeToSleep seconds (units/s): 2.5 to 10 % per second of
  // the scene's bodies, which are 1 to 4 units across. Slow that long and
  // supported, it is settled.
  static constexpr float kSleepVelocity = 0.1f;
  static constexpr float kTimeToSleep = 0.5f;
  // A body is supported when its centre of mass lies within this distance
  // (units, across the vertical) of the region its supporting contacts
  // span; a contact supports when its normal into the body has a y
  // component above -kSupportNormalY (up, or about level: a body leaning on
  // a wall is held there by friction).
  static constexpr float kSupportTolerance = 0.02f;
  static constexpr float kSupportNormalY = 0.05f;
  // An awake body running into a sleeping one at this speed (units/s, along
  // the contact normal) or faster wakes its island. Slower, it meets the
  // sleeper as immovable: a piece rocking against the edge of a settled heap
  // (the collision thread reports pairs a little before they touch) would
  // otherwise wake hundreds of bodies every second.
  static constexpr float kWakeSpeed = 0.25f;
  // The points of a manifold the solver takes, at most: the deepest and the
  // three that span the largest area with it. Four points hold a face as
  // well as ten, at under half the rows.
  static constexpr size_t kMaxManifoldPoints = 4;
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

  // A force or joint changes what holds its bodies: their islands wake at
  // the next sync.
  void AddForce(std::unique_ptr<Force> force);
  void AddJoint(std::unique_ptr<Constraint> joint);

  // Forgets bodies, forces, joints, the warm-start cache and the ground
  // plane, and puts the settings below back to their defaults.
  void Reset();

  // Every gravity force that pulls straight down (the scene's gravity, as
  // opposed to a pull along another direction), and every one added from now
  // on, pulls with g (units/s^2). Until the first call each force keeps the
  // g it was made with.
  void SetGravity(float g);
  static bool IsDownward(const GravityForce& force);
  // Switched off, every sleeping island wakes and no body falls asleep
  // until it is switched on again.
  void SetSleeping(bool on);
  bool SleepingOn() const { return sleepingOn; }

  // Gauss-Seidel sweeps per step (kSolverIterations unless changed), at least 1.
  int solverIterations = kSolverIterations;

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
                      const std::vector<ContactPoint>& points, float dt, float biasFactor);
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
  // Whether tie t joins its bodies into one sleeping island: a joint or
  // spring, or a contact whose normal is within the angle of kHoldNormalY of
  // the vertical (one rests on the other).
  bool Stacks(size_t tie) const;
  bool Settled(uint32_t index) const;
  // Finds, for every body slow for kTimeToSleep, whether its contacts of
  // this step support it (see the header comment); sets `supported`.
  void FindSupport(const std::vector<ContactManifold>& manifolds,
                   const std::vector<ContactPoint>& points);
  uint32_t Root(uint32_t index);
  void Join(uint32_t a, uint32_t b);

  bool groundKnown = false;
  uint32_t groundId = 0;
  bool sleepingOn = true;
  bool gravitySet = false;  // SetGravity was called: new gravity forces take `gravity`
  float gravity = 0.0f;
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
  std::vector<uint32_t> pendingWake;     // objects given a force or joint since the last sync
  std::vector<bool> supported;           // per body index: FindSupport's answer
  std::vector<bool> pressed;             // per body index: something lies on it
  struct SupportPoint {
    uint32_t body;
    float x, z;  // the contact point, across the vertical
  };
  std::vector<SupportPoint> supportPoints;  // scratch of FindSupport
};
