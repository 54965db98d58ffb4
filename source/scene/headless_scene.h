#pragma once
// HeadlessScene: the scene without a window, for tests and benchmarks. It
// builds the ground plane and solids with the solid factory, adds them to the
// ObjectManager, gives them gravity through "AddForce" events to "Physics",
// and runs CollisionManager::Update and Physics::Update in lockstep on the
// calling thread, one fixed 1/60 s step at a time.
//
// The modules are process-wide singletons, so only one scene should exist at
// a time; constructing one clears whatever an earlier scene left behind
// (objects, bodies, forces, joints, warm-start cache, contact buffers), and so
// does its destructor.

#include <cstdint>
#include <string>
#include <vector>

#include "math/quaternion.h"
#include "math/vector.h"
#include "objects/game_object.h"
#include "physics/physics_comp.h"
#include "scene/model_type.h"
#include "scene/scene_setup.h"

class HeadlessScene {
 public:
  static constexpr double kStepSeconds = 1.0 / 60.0;

  // Clears the modules' scene state, sets the collision switches (collision
  // on, picking off, multiple contacts as given) and adds the ground plane.
  explicit HeadlessScene(bool multipleContacts = true);
  ~HeadlessScene();
  HeadlessScene(const HeadlessScene&) = delete;
  HeadlessScene& operator=(const HeadlessScene&) = delete;

  // Initialises EventManager, CollisionManager and Physics once per process;
  // later calls do nothing. Tests of the same executable that need these
  // modules registered call this instead of their Init.
  static void InitModules();

  // Kills and sweeps every object and forgets every body, force, joint,
  // cached lambda and contact.
  static void Clear();

  // Builds a solid, adds it and, when gravity > 0, sends its gravity force.
  // Returns its object number (0 when the add failed).
  uint32_t AddSolid(const std::string& name, const Vector& position, const Vector& dimensions,
                    int modelType, const Quaternion& orientation = Quaternion(),
                    float density = kStartDensity, float gravity = kSceneGravity);

  // The scene's start objects (kStartObjects), with the scene's density and
  // gravity; returns their numbers in that order.
  std::vector<uint32_t> AddStartObjects();

  // Sends "AddForce" "GravityForce" for the object with strength g.
  void SendGravity(uint32_t objectId, float g);

  // Runs `count` steps: frame start time, collision update, physics update.
  // The CPU time of each half of each step (seconds of this thread's CPU
  // clock) is appended to the two arrays.
  void Step(int count);

  GameObject& Object(uint32_t objectId);
  PhysicsComp& Body(uint32_t objectId);

  uint32_t groundId = 0;
  double time = 0.0;                    // simulated seconds
  std::vector<double> collisionSeconds;  // thread CPU seconds per step
  std::vector<double> physicsSeconds;
};
