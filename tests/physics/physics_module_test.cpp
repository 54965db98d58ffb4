// The Physics module end to end: "AddForce" and "AddConstraint" events, the
// sync, step and write-back over the shared object table, and the object
// lock around both table phases.

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/event_manager.h"
#include "core/system.h"
#include "objects/object_manager.h"
#include "physics/physics.h"
#include "physics/physics_comp.h"
#include "support/log_capture.h"
#include "support/objects.h"

namespace {

constexpr float kDt = 1.0f / 60.0f;

class PhysicsModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    EventManager::Instance().Init();
    Physics::Instance().Init();
  }
  void SetUp() override {
    support::ClearObjects();
    Physics::Instance().Update();  // drains events, drops every body
    Physics::Instance().Reset();
    EventManager::Instance().GetEvents("BROADCAST");
  }
  static uint32_t AddBody(const std::string& name, const Vector& position, float mass) {
    return ObjectManager::Instance().AddGameObject(support::BodyObject(name, position, mass));
  }
  static Event Request(const std::string& type, const std::string& kind, uint32_t a = 0, uint32_t b = 0) {
    Event event("Test", "Physics", type);
    event.SetParam<std::string>("type", kind);
    if (a != 0) event.SetParam<uint32_t>(b != 0 ? "objA" : "obj", a);
    if (b != 0) event.SetParam<uint32_t>("objB", b);
    return event;
  }
  static void Post(const Event& event) { EventManager::Instance().PostEvent(event); }
  static GameObject& Object(uint32_t id) { return ObjectManager::Instance().GetGameObject(id); }
  static PhysicsComp& Comp(uint32_t id) { return *Object(id).Find<PhysicsComp>(); }
};

// Gravity (its "g" and "dir" replacing the defaults; the direction is not
// normalised), springs and ball joints are built from their requests;
// malformed or unknown requests are dropped, the malformed ones with a
// warning.
TEST_F(PhysicsModuleTest, RequestsAreBuiltAndMalformedOnesDroppedWithAWarning) {
  const uint32_t a = AddBody("a", Vector(0, 0, 0), 1.0f), b = AddBody("b", Vector(4, 0, 0), 1.0f);
  const uint32_t sideways = AddBody("sideways", Vector(0, 0, 9), 7.0f);
  Event wrongType = Request("AddForce", "GravityForce");
  wrongType.SetParam<int>("obj", static_cast<int>(a));  // not an unsigned
  // A spring without objB, L and k; a mistyped gravity; an unknown force and event.
  for (const Event& event : {Request("AddForce", "SpringForce", a), wrongType, Request("AddForce", "MagnetForce", a),
                             Event("Test", "Physics", "Explode")})
    Post(event);
  {
    support::LogCapture log;
    Physics::Instance().Update();
    EXPECT_TRUE(Physics::Instance().World().forces.empty() && Physics::Instance().World().joints.empty());
    EXPECT_TRUE(log.Count("WARNING") == 2u && !log.ErrorLogged()) << log.NewLog();
  }
  Event spring = Request("AddForce", "SpringForce", a, b), joint = Request("AddConstraint", "BallJointConstraint", a, b);
  spring.SetParam<float>("L", 1.0f);
  spring.SetParam<float>("k", 2.0f);
  joint.SetParam<Vector>("anchorA", Vector(1, 0, 0));
  joint.SetParam<Vector>("anchorB", Vector(-1, 0, 0));
  Event gravity = Request("AddForce", "GravityForce", sideways);
  gravity.SetParam<float>("g", 1.5f);
  gravity.SetParam<Vector>("dir", Vector(2, 0, 0));
  for (const Event& event : {spring, joint, gravity}) Post(event);
  Physics::Instance().Update();
  ASSERT_TRUE(Physics::Instance().World().forces.size() == 2u && Physics::Instance().World().joints.size() == 1u);
  EXPECT_NEAR(Comp(sideways).linearVelocity.x, 3.0f * kDt, 1e-6f);  // any mass: 1.5 * 2 per second
  EXPECT_NEAR(Object(sideways).position.x, 3.0f * kDt * kDt, 1e-7f);  // the new velocity moves it
  EXPECT_TRUE(Comp(a).linearVelocity.x > 0.0f && Comp(b).linearVelocity.x < 0.0f);  // spring and joint pull together
}

// A force that marks that the step has begun (so the sync is over) and then
// holds the step until the test lets it go.
class StepGate : public Force {
 public:
  explicit StepGate(uint32_t id) : Force(id) {}  // acts on a live object, or it is dropped
  void Apply(std::vector<RigidBody>&, const BodyIndexMap&, double) override {
    reached = true;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!open && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
  }
  std::atomic<bool> reached{false}, open{false};
};

// Physics reads the table (the sync) and writes it (the write-back) only
// under the object lock. With the lock held by this thread, an update on
// another thread must not get as far as its step, and once it is in its
// step, must not move an object before the lock is released. Each negative
// is a bounded wait: a slow machine can only make a fault harder to catch,
// never fail a sound update.
TEST_F(PhysicsModuleTest, UpdateTouchesTheTableOnlyUnderTheObjectLock) {
  const uint32_t id = AddBody("moving", Vector(0, 0, 0), 1.0f);
  Comp(id).linearVelocity = Vector(6, 0, 0);
  auto gate = std::make_unique<StepGate>(id);
  StepGate& step = *gate;
  step.open = true;
  Physics::Instance().World().AddForce(std::move(gate));
  Physics::Instance().Update();
  step.reached = step.open = false;
  const Vector before = Object(id).position;
  const auto waitFor = [](const std::function<bool()>& condition, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
  };
  const auto reached = [&] { return step.reached.load(); };
  std::optional<ObjectLock> lock(std::in_place);
  std::thread worker([] { Physics::Instance().Update(); });
  const bool steppedWithoutSync = waitFor(reached, 0.3);
  lock.reset();
  EXPECT_FALSE(steppedWithoutSync) << "the update read the table without the lock";
  const bool inStep = waitFor(reached, 60.0);
  lock.emplace();
  step.open = true;
  const bool movedWhileLocked = waitFor([&] { return Object(id).position != before; }, 0.3);
  lock.reset();
  worker.join();
  EXPECT_TRUE(inStep);
  EXPECT_FALSE(movedWhileLocked) << "the update wrote the table without the lock";
  EXPECT_NEAR(Object(id).position.x, before.x + 6.0f * kDt, 1e-5f);
}

}  // namespace
