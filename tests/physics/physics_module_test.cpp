// The Physics module end to end on one thread: "AddForce" and "AddConstraint"
// events, the sync under the object lock, the step and the write-back.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/event_manager.h"
#include "core/system.h"
#include "objects/object_manager.h"
#include "physics/physics.h"
#include "physics/physics_comp.h"

namespace {

constexpr float kDt = 1.0f / 60.0f;

class PhysicsModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    EventManager::Instance().Init();
    Physics::Instance().Init();
  }
  void SetUp() override { Clear(); }

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

  static Event Request(const std::string& type, const std::string& kind) {
    Event event("Test", "Physics", type);
    event.SetParam<std::string>("type", kind);
    return event;
  }
  static Event Gravity(uint32_t id) {
    Event event = Request("AddForce", "GravityForce");
    event.SetParam<uint32_t>("obj", id);
    return event;
  }
  static void Post(const Event& event) { EventManager::Instance().PostEvent(event); }

  static GameObject& Object(uint32_t id) { return ObjectManager::Instance().GetGameObject(id); }
  static PhysicsComp& Comp(uint32_t id) {
    return *Object(id).Find<PhysicsComp>();
  }
};

}  // namespace

TEST_F(PhysicsModuleTest, FreeFallMatchesSemiImplicitEulerAndGravityParametersOverride) {
  const float masses[] = {0.5f, 7.0f, 335.1f, 1.0e6f};
  std::vector<uint32_t> ids;
  for (float mass : masses) {
    ids.push_back(AddBody("faller" + std::to_string(ids.size()), Vector(3.0f * ids.size(), 20, 0),
                          mass));
    Post(Gravity(ids.back()));
  }
  // "g" and "dir" replace the defaults; the direction is not normalised.
  const uint32_t sideways = AddBody("sideways", Vector(0, 0, 9), 2.0f);
  Event gravity = Gravity(sideways);
  gravity.SetParam<float>("g", 1.5f);
  gravity.SetParam<Vector>("dir", Vector(2, 0, 0));
  Post(gravity);
  const uint32_t lifted = AddBody("lifted", Vector(5, 0, 9), 2.0f);
  gravity = Gravity(lifted);
  gravity.SetParam<Vector>("dir", Vector(0, 1, 0));
  Post(gravity);

  // The prediction: v += g dt, then y += v dt, in float as the engine does.
  float v = 0.0f, y = 20.0f;
  for (int i = 0; i < 60; ++i) {
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
  EXPECT_NEAR(Comp(sideways).linearVelocity.x, 3.0f, 1e-3f);
  EXPECT_NEAR(Comp(sideways).linearVelocity.y, 0.0f, 1e-6f);
  EXPECT_NEAR(Comp(lifted).linearVelocity.y, 9.8f, 1e-3f);
}

TEST_F(PhysicsModuleTest, MalformedOrUnknownRequestsAreDroppedWithAWarning) {
  const uint32_t a = AddBody("a", Vector(0, 0, 0), 1.0f);
  Event missing = Request("AddForce", "SpringForce");
  missing.SetParam<uint32_t>("objA", a);  // no objB, L, k
  Post(missing);
  Event wrongType = Request("AddForce", "GravityForce");
  wrongType.SetParam<int>("obj", static_cast<int>(a));  // not an unsigned
  Post(wrongType);
  Post(Request("AddForce", "MagnetForce"));
  Post(Event("Test", "Physics", "Explode"));
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
  Event spring = Request("AddForce", "SpringForce");
  Event joint = Request("AddConstraint", "BallJointConstraint");
  for (Event* event : {&spring, &joint}) {
    event->SetParam<uint32_t>("objA", a);
    event->SetParam<uint32_t>("objB", b);
  }
  spring.SetParam<float>("L", 1.0f);
  spring.SetParam<float>("k", 2.0f);
  joint.SetParam<Vector>("anchorA", Vector(1, 0, 0));
  joint.SetParam<Vector>("anchorB", Vector(-1, 0, 0));
  Post(spring);
  Post(joint);
  Physics::Instance().Update();
  ASSERT_EQ(Physics::Instance().World().forces.size(), 1u);
  ASSERT_EQ(Physics::Instance().World().joints.size(), 1u);
  EXPECT_EQ(Physics::Instance().World().joints[0]->objectB, b);
  // Both the spring and the joint pull the two together.
  EXPECT_GT(Comp(a).linearVelocity.x, 0.0f);
  EXPECT_LT(Comp(b).linearVelocity.x, 0.0f);
}
