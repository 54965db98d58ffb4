#include "physics/physics.h"

#include <memory>
#include <string>

#include <boost/any.hpp>

#include "collision/collision_manager.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "objects/object_manager.h"

namespace {

std::unique_ptr<Force> MakeForce(Event& event) {
  const std::string type = event.GetParam<std::string>("type");
  if (type == "GravityForce") {
    const uint32_t obj = event.GetParam<uint32_t>("obj");
    auto gravity = std::make_unique<GravityForce>(obj);
    if (event.HasParam("g")) gravity->g = event.GetParam<float>("g");
    if (event.HasParam("dir")) gravity->direction = event.GetParam<Vector>("dir");
    return gravity;
  }
  if (type == "SpringForce") {
    return std::make_unique<SpringForce>(event.GetParam<uint32_t>("objA"),
                                         event.GetParam<uint32_t>("objB"),
                                         event.GetParam<float>("L"), event.GetParam<float>("k"));
  }
  return nullptr;
}

std::unique_ptr<Constraint> MakeConstraint(Event& event) {
  const std::string type = event.GetParam<std::string>("type");
  if (type == "BallJointConstraint") {
    return std::make_unique<BallJointConstraint>(
        event.GetParam<uint32_t>("objA"), event.GetParam<uint32_t>("objB"),
        event.GetParam<Vector>("anchorA"), event.GetParam<Vector>("anchorB"));
  }
  return nullptr;
}

}  // namespace

Physics::Physics() : Module<Physics>("Physics") {}

// Forces and joints are owned through unique_ptr inside the world.
Physics::~Physics() = default;

void Physics::Init() { EventManager::Instance().RegisterClient(name); }

void Physics::Kill() { EventManager::Instance().UnregisterClient(name); }

void Physics::HandleEvent(Event& event) {
  if (event.type != "AddForce" && event.type != "AddConstraint" && event.type != "Settings")
    return;
  // A malformed request must not throw out of the physics thread.
  try {
    if (event.type == "Settings") {
      if (event.HasParam("gravity")) world.SetGravity(event.GetParam<float>("gravity"));
      if (event.HasParam("iterations"))
        world.solverIterations = static_cast<int>(event.GetParam<uint32_t>("iterations"));
      if (event.HasParam("sleeping")) world.SetSleeping(event.GetParam<bool>("sleeping"));
    } else if (event.type == "AddForce") {
      std::unique_ptr<Force> force = MakeForce(event);
      if (force) world.AddForce(std::move(force));
    } else {
      std::unique_ptr<Constraint> joint = MakeConstraint(event);
      if (joint) world.AddJoint(std::move(joint));
    }
  } catch (const boost::bad_any_cast&) {
    CLEAVE_WARNING(event.type + " event with a missing or mistyped parameter ignored");
  }
}

void Physics::Update() {
  ProcessEvents();
  // Paused: the bodies and their objects stay as they are; objects added or
  // moved meanwhile are taken up at the next step's sync.
  const float step = clock.TakeStep(PhysicsWorld::kTimeStep);
  if (step <= 0.0f) return;

  ObjectManager& objectManager = ObjectManager::Instance();
  {
    ObjectLock lock;
    world.Sync(objectManager.objects);
  }

  const double time = System::Instance().frameStartTime;
  CollisionManager::Instance().GetContacts(manifolds, points);
  world.Step(time, step, manifolds, points);

  {
    ObjectLock lock;
    world.WriteBack(objectManager.objects);
  }
}
