#pragma once
// Physics: moves every game object that carries a PhysicsComp, once per frame
// on the physics worker thread.
//
// Update: drain the "AddForce" / "AddConstraint" events; copy the objects
// into private bodies under the object lock; step the bodies by a fixed 1/60 s
// (times the clock's scale; no step while its pause holds)
// with the contacts of the latest collision frame; add the step's change back
// onto the objects under the lock. The step itself touches only private data,
// so other threads may read and change objects while it runs. The state lives
// in a PhysicsWorld (physics_world.h) that tests can also drive directly.

#include <cstdint>
#include <vector>

#include "collision/contact.h"
#include "core/module.h"
#include "physics/physics_world.h"
#include "physics/step_clock.h"

class Physics : public Module<Physics> {
 public:
  Physics();
  ~Physics() override;

  void Init() override;    // registers "Physics" with the event manager
  void Update() override;  // one physics frame
  void Kill() override;    // unregisters "Physics"

  // "AddForce" with "type" "GravityForce" ("obj"; optional "g", "dir") or
  // "SpringForce" ("objA", "objB", "L", "k"); "AddConstraint" with "type"
  // "BallJointConstraint" ("objA", "objB", "anchorA", "anchorB"). Anything
  // else is ignored. "Settings" carries any of "gravity" (float, see
  // PhysicsWorld::SetGravity), "iterations" (uint32_t, solver sweeps per
  // step) and "sleeping" (bool); it takes effect from the next step. An
  // event missing a parameter or carrying one of the wrong type is warned
  // about and dropped.
  void HandleEvent(Event& event) override;

  bool HasBody(uint32_t objectId) const { return world.HasBody(objectId); }
  uint32_t BodyIndex(uint32_t objectId) const { return world.BodyIndex(objectId); }

  // Forgets every body, force and joint, the warm-start cache and the ground
  // plane, for a scene that is rebuilt from scratch (tests, benchmarks).
  void Reset() { world.Reset(); }

  PhysicsWorld& World() { return world; }

  // Pause, single steps and slow motion, set from the main thread.
  StepClock clock;

 private:
  PhysicsWorld world;
  // The contacts of the current step, copied out of the CollisionManager.
  std::vector<ContactManifold> manifolds;
  std::vector<ContactPoint> points;
};
