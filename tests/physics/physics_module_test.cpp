// The Physics module end to end on one thread: "AddForce" events, the sync
// under the object lock, the step and the write-back onto the objects.

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_manager.h"
#include "object_manager.h"
#include "physics/physics.h"
#include "physics/physics_comp.h"
#include "system.h"

namespace {

constexpr float kDt = 1.0f / 60.0f;

class PhysicsModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool initialised = false;
    if (initialised) return;
    initialised = true;
    EventManager::Instance().Init();
    Physics::Instance().Init();
  }

  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }

  static void Clear() {
    ObjectManager& objects = ObjectManager::Instance();
    for (auto& entry : objects.objects) objects.KillGameObject(entry.second);
    objects.RemoveDeadObjects();
    Physics::Instance().Update();  // drains events, drops every body
    Physics::Instance().Reset();
    EventManager::Instance().GetEvents("BROADCAST");
  }

  static uint32_t AddBody(const std::string& name, const Vector& position, float mass) {
    GameObject object;
    object.name = name;
    object.position = position;
    PhysicsComp comp;
    comp.mass = mass;
    object.AttachComponent(comp);
    return ObjectManager::Instance().AddGameObject(object);
  }

  static void SendGravity(uint32_t id, const float* g = nullptr, const Vector* dir = nullptr) {
    Event event("Test", "Physics", "AddForce");
    event.SetParam<std::string>("type", "GravityForce");
    event.SetParam<uint32_t>("obj", id);
    if (g != nullptr) event.SetParam<float>("g", *g);
    if (dir != nullptr) event.SetParam<Vector>("dir", *dir);
    EventManager::Instance().PostEvent(event);
  }

  static GameObject& Object(uint32_t id) { return ObjectManager::Instance().GetGameObject(id); }
  static PhysicsComp& Comp(uint32_t id) {
    return *Object(id).FindComponent<PhysicsComp>("PhysicsComp");
  }
};

}  // namespace

TEST_F(PhysicsModuleTest, FreeFallMatchesSemiImplicitEulerWhateverTheMass) {
  const float masses[] = {0.5f, 7.0f, 335.1f, 1.0e6f};
  std::vector<uint32_t> ids;
  for (float mass : masses) {
    ids.push_back(AddBody("faller" + std::to_string(ids.size()), Vector(3.0f * ids.size(), 20, 0),
                          mass));
    SendGravity(ids.back());
  }
  const int steps = 90;
  // The prediction: v += g dt, then y += v dt, in float as the engine does.
  float v = 0.0f, y = 20.0f;
  for (int i = 0; i < steps; ++i) {
    Physics::Instance().Update();
    v += -9.8f * kDt;
    y += v * kDt;
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    SCOPED_TRACE(masses[i]);
    EXPECT_NEAR(Comp(ids[i]).linearVelocity.y, v, 1e-3f);
    EXPECT_NEAR(Object(ids[i]).position.y, y, 1e-3f);
    EXPECT_FLOAT_EQ(Object(ids[i]).position.x, 3.0f * i);
    EXPECT_EQ(Comp(ids[i]).linearVelocity.x, 0.0f);
    EXPECT_FLOAT_EQ(Object(ids[i]).orientation.s, 1.0f);
  }
}

TEST_F(PhysicsModuleTest, GravityParametersOverrideStrengthAndDirection) {
  const uint32_t a = AddBody("sideways", Vector(0, 0, 0), 2.0f);
  const uint32_t b = AddBody("lifted", Vector(5, 0, 0), 2.0f);
  const float g = 3.0f;
  const Vector right(1, 0, 0);
  SendGravity(a, &g, &right);
  const Vector up(0, 1, 0);
  SendGravity(b, nullptr, &up);
  for (int i = 0; i < 60; ++i) Physics::Instance().Update();
  EXPECT_NEAR(Comp(a).linearVelocity.x, 3.0f, 1e-3f);
  EXPECT_NEAR(Comp(a).linearVelocity.y, 0.0f, 1e-6f);
  EXPECT_NEAR(Comp(b).linearVelocity.y, 9.8f, 1e-3f);
}

TEST_F(PhysicsModuleTest, MalformedOrUnknownRequestsAreDropped) {
  const uint32_t a = AddBody("a", Vector(0, 0, 0), 1.0f);
  Event missing("Test", "Physics", "AddForce");
  missing.SetParam<std::string>("type", "SpringForce");
  missing.SetParam<uint32_t>("objA", a);  // no objB, L, k
  EventManager::Instance().PostEvent(missing);
  Event wrongType("Test", "Physics", "AddForce");
  wrongType.SetParam<std::string>("type", "GravityForce");
  wrongType.SetParam<int>("obj", 1);  // not an unsigned
  EventManager::Instance().PostEvent(wrongType);
  Event unknown("Test", "Physics", "AddForce");
  unknown.SetParam<std::string>("type", "MagnetForce");
  EventManager::Instance().PostEvent(unknown);
  Event other("Test", "Physics", "Explode");
  EventManager::Instance().PostEvent(other);
  const size_t logBefore = System::Instance().GetLogText().size();
  Physics::Instance().Update();
  EXPECT_TRUE(Physics::Instance().World().forces.empty());
  EXPECT_TRUE(Physics::Instance().World().joints.empty());
  EXPECT_NE(System::Instance().GetLogText().find("WARNING", logBefore), std::string::npos);
  EXPECT_EQ(System::Instance().GetLogText().find("ERROR", logBefore), std::string::npos);
}

TEST_F(PhysicsModuleTest, SpringAndBallJointRequestsAreBuilt) {
  const uint32_t a = AddBody("a", Vector(0, 0, 0), 1.0f);
  const uint32_t b = AddBody("b", Vector(4, 0, 0), 1.0f);
  Event spring("Test", "Physics", "AddForce");
  spring.SetParam<std::string>("type", "SpringForce");
  spring.SetParam<uint32_t>("objA", a);
  spring.SetParam<uint32_t>("objB", b);
  spring.SetParam<float>("L", 1.0f);
  spring.SetParam<float>("k", 2.0f);
  EventManager::Instance().PostEvent(spring);
  Event joint("Test", "Physics", "AddConstraint");
  joint.SetParam<std::string>("type", "BallJointConstraint");
  joint.SetParam<uint32_t>("objA", a);
  joint.SetParam<uint32_t>("objB", b);
  joint.SetParam<Vector>("anchorA", Vector(1, 0, 0));
  joint.SetParam<Vector>("anchorB", Vector(-1, 0, 0));
  EventManager::Instance().PostEvent(joint);
  Physics::Instance().Update();
  ASSERT_EQ(Physics::Instance().World().forces.size(), 1u);
  ASSERT_EQ(Physics::Instance().World().joints.size(), 1u);
  // Both the spring and the joint pull the two together.
  EXPECT_GT(Comp(a).linearVelocity.x, 0.0f);
  EXPECT_LT(Comp(b).linearVelocity.x, 0.0f);
  EXPECT_TRUE(Physics::Instance().HasBody(a));
  EXPECT_EQ(Physics::Instance().World().joints[0]->objectB, b);
}
