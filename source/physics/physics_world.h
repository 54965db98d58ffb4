#pragma once
// PhysicsWorld: everything the Physics module steps, as one plain object that
// tests and benchmarks can build without the engine's singletons: the body
// array with its id/index map, the forces and joints, the constraint solver
// with its warm-start cache, and the id of the ground plane.
//
// One physics frame is Sync (under the object lock), Step (on private data
// only) and WriteBack (under the object lock again).

#include <cstdint>
#include <memory>
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
  // Contacts settle at this depth (units) instead of 0: the hulls carry a
  // 0.08 margin, and keeping the contact this deep keeps it alive from one
  // step to the next.
  static constexpr float kContactSlop = 0.08f;
  static constexpr float kMaxContactForce = 1e8f;  // upper bound of a contact row
  static constexpr int kSolverIterations = 3;

  PhysicsWorld() = default;
  PhysicsWorld(const PhysicsWorld&) = delete;
  PhysicsWorld& operator=(const PhysicsWorld&) = delete;

  // Copies the state of every live object with a PhysicsComp into its body,
  // giving new objects a body at the next index. Bodies whose object is dead,
  // has disappeared from the table, or lost its PhysicsComp are erased, and
  // the higher indices move down. Forces and joints that name an object no
  // longer in the table are dropped. Zeroes every force accumulator. Call
  // with the table locked.
  void Sync(ObjectTable& objects);

  // One step of dt at time t: contact, friction and joint rows, forces, the
  // solve, integration and renormalisation. Contacts naming an object without
  // a body are skipped.
  void Step(double time, float dt, const std::vector<ContactManifold>& manifolds,
            const std::vector<ContactPoint>& points);

  // Adds the change of the last step (body minus snapshot) onto every object
  // that still exists and onto its PhysicsComp, so changes made by other
  // threads meanwhile survive. Call with the table locked.
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

 private:
  void AddContactRows(const ContactManifold& manifold, const std::vector<ContactPoint>& points,
                      float biasFactor);

  bool groundKnown = false;
  uint32_t groundId = 0;
  std::vector<bool> seen;     // per body index: found alive in this sync
  ConstraintRows scratchRows;  // reused by every friction and joint row build
};
