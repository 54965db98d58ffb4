// Friction, support and waking in the headless scene, against what Coulomb's
// law and statics say: a box slides v^2 / (2 mu g) and a sideways pull below
// mu m g does not move it; pieces sleep only where their support holds them;
// a force or a joint wakes a sleeping body. Gravity, sleeping and solver
// sweeps changed while the scene runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/event_manager.h"
#include "physics/constraint.h"
#include "scene/headless_scene.h"
#include "scene/split_orchestration.h"
#include "scene_test_util.h"

namespace {

constexpr float kMu = 0.1f, kG = 10.0f;

// A box of half extents (1, 0.5, 1) left to settle on the ground.
uint32_t SettledBox(HeadlessScene& scene, float x = 0.0f) {
  const uint32_t box = scene.AddSolid("box" + std::to_string(x), Vector(x, 0.6f, 0), Vector(1, 0.5f, 1), Box);
  scene.Step(120);
  return box;
}

void Pull(uint32_t object, const Vector& direction, float acceleration) {
  Event event("test", "Physics", "AddForce");
  event.SetParam<std::string>("type", "GravityForce");
  event.SetParam<uint32_t>("obj", object);
  event.SetParam<float>("g", acceleration);
  event.SetParam<Vector>("dir", direction);
  EventManager::Instance().PostEvent(event);
}

// How far (units, along x or z) the centre of mass lies outside the box
// spanned across the vertical by the vertices within `band` of the lowest.
float CentreOutsideFootprint(GameObject& object, float band) {
  const float low = scene_test::Heights(object).first;
  float x0 = 1e9f, x1 = -1e9f, z0 = 1e9f, z1 = -1e9f;
  for (const Vector& p : scene_test::WorldVertices(object)) {
    if (p.y > low + band) continue;
    x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), z0 = std::min(z0, p.z), z1 = std::max(z1, p.z);
  }
  const Vector& c = object.position;
  return std::max({x0 - c.x, c.x - x1, z0 - c.z, c.z - z1, 0.0f});
}

}  // namespace

TEST(Friction, ABoxSlidesAsCoulombSaysAndHoldsAgainstASmallPull) {
  HeadlessScene scene;
  const uint32_t box = SettledBox(scene);
  const float start = scene.Object(box).position.x;
  scene.Body(box).linearVelocity = Vector(3, 0, 0);
  scene.Step(1);  // wakes it
  for (int step = 0; step < 300 && !scene.Body(box).sleeping; ++step) scene.Step(1);
  // 3^2 / (2 * 0.1 * 10) = 4.5 units.
  EXPECT_NEAR(scene.Object(box).position.x - start, 9.0f / (2.0f * kMu * kG), 0.3f);

  // Pulled sideways at half of mu g it stays; at twice, it slides on with
  // the difference, a = 2 - 1 = 1 units/s^2: 2 units in 2 s.
  const uint32_t held = SettledBox(scene, 10.0f), pulled = SettledBox(scene, 20.0f);
  Pull(held, Vector(0, 0, 1), 0.5f * kMu * kG);
  Pull(pulled, Vector(0, 0, 1), 2.0f * kMu * kG);
  scene.Step(120);
  EXPECT_LT(std::fabs(scene.Object(held).position.z), 0.02f);
  EXPECT_NEAR(scene.Object(pulled).position.z, 2.0f, 0.25f);
  EXPECT_NEAR(scene.Object(pulled).position.y, scene.Object(held).position.y, 0.02f) << "tipped over";
}

// A box set spinning on the ground stops as Coulomb friction at its rim
// says: alpha = mu g r / (s^2 / 6) for a cube of side 1 with its weight at
// distance r from its axis, r from 0.35 (edge middles) to 0.77 (corners,
// hull margin included), so 2 rad/s are gone within 0.3 to 0.9 s; with its
// weight on the middle of its face (r = 0) it would spin on.
TEST(Friction, ASpinningBoxStopsOnTheGround) {
  HeadlessScene scene;
  const uint32_t box = scene.AddSolid("spun", Vector(0, 0.6f, 0), Vector(0.5f, 0.5f, 0.5f), Box);
  scene.Step(120);
  const Vector start = scene.Object(box).position;
  scene.Body(box).angularVelocity = Vector(0, 2, 0);
  scene.Step(60);
  EXPECT_LT(Length(scene.Body(box).angularVelocity), 0.05f);
  EXPECT_LT(Length(WithW(scene.Object(box).position - start, 0.0f)), 0.02f);
}

TEST(Sleep, ForcesAndJointsWakeSleepers) {
  HeadlessScene scene;
  const uint32_t a = SettledBox(scene, 0.0f), b = SettledBox(scene, 5.0f);
  ASSERT_TRUE(scene.Body(a).sleeping && scene.Body(b).sleeping);
  Pull(a, Vector(0, 1, 0), 2.0f * kG);  // lifts it
  scene.Step(30);
  EXPECT_GT(scene.Object(a).position.y, 1.0f);

  const uint32_t c = SettledBox(scene, 9.0f);  // meanwhile a flies off
  ASSERT_TRUE(scene.Body(b).sleeping && scene.Body(c).sleeping);
  Event joint("test", "Physics", "AddConstraint");
  joint.SetParam<std::string>("type", "BallJointConstraint");
  joint.SetParam<uint32_t>("objA", b);
  joint.SetParam<uint32_t>("objB", c);
  joint.SetParam<Vector>("anchorA", Vector(2, 0, 0));
  joint.SetParam<Vector>("anchorB", Vector(-1, 0, 0));
  EventManager::Instance().PostEvent(joint);
  scene.Step(60);  // the joint pulls the two boxes 1 unit closer
  EXPECT_LT(scene.Object(c).position.x - scene.Object(b).position.x, 3.8f);
}

// Half spheres dropped on their round sides, near and far from their rest
// pose, and a tall box tipped 10 degrees past its edge: each ends asleep
// with its centre of mass over what it stands on.
TEST(Sleep, PiecesRestOnlyWhereTheirSupportHoldsThem) {
  HeadlessScene scene;
  std::vector<uint32_t> pieces;
  SplitOrchestrator orchestrator;
  // Far enough apart that no piece rolls into another and leans on it: the
  // footprint check below sees only the ground.
  float x = 0.0f;
  for (const float tilt : {0.0f, 0.5f, 1.2f}) {  // radians about z, of the cut plane from vertical
    const Vector at(x += 16.0f, 2.2f, 0);
    pieces.push_back(scene.AddSolid("sphere" + std::to_string(tilt), at, Vector(2, 0, 0), Sphere));
    orchestrator.SliceObjects(Plane(Vector(std::cos(tilt), std::sin(tilt), 0), at));
    orchestrator.ProcessSplitQueue(1.0e6);
  }
  for (auto& entry : ObjectManager::Instance().objects)
    if (entry.second.name.rfind("split_obj_", 0) == 0) pieces.push_back(entry.first);
  const float lean = std::atan(0.5f) + 10.0f * 3.14159265f / 180.0f;
  const uint32_t tall = scene.AddSolid("tall", Vector(-8, 1.2f, 0), Vector(0.5f, 1.0f, 0.5f), Box,
                                       Quaternion::FromAxisAngle(Vector(0, 0, 1), lean));
  pieces.push_back(tall);
  scene.Step(900);
  ASSERT_EQ(pieces.size(), 7u);
  for (const uint32_t id : pieces) {
    GameObject& piece = scene.Object(id);
    SCOPED_TRACE(piece.name);
    EXPECT_TRUE(scene.Body(id).sleeping);
    EXPECT_LT(CentreOutsideFootprint(piece, 0.05f), 0.05f);
  }
  // The tall box lies on a long side: its top is at most a unit up.
  const float top = scene_test::Heights(scene.Object(tall)).second;
  EXPECT_LT(top, 1.1f);
}

static void SendSettings(const char* key, float gravity, uint32_t iterations, bool sleeping) {
  Event event("test", "Physics", "Settings");
  if (std::string(key) == "gravity") event.SetParam<float>(key, gravity);
  if (std::string(key) == "iterations") event.SetParam<uint32_t>(key, iterations);
  if (std::string(key) == "sleeping") event.SetParam<bool>(key, sleeping);
  EventManager::Instance().PostEvent(event);
}

// Gravity changed while bodies fall: a falling box, and one given the old
// gravity afterwards, gain g dt of speed per step at the new g; a sideways
// pull keeps its own strength.
TEST(LiveSettings, GravityChangesTheFallOfEveryBodyAndOfNewOnes) {
  HeadlessScene scene;
  const uint32_t box = scene.AddSolid("high", Vector(0, 40, 0), Vector(1, 1, 1), Box);
  scene.Step(3);
  auto speedGain = [&](uint32_t id) {
    const Vector before = scene.Body(id).linearVelocity;
    scene.Step(1);
    return before - scene.Body(id).linearVelocity;
  };
  EXPECT_NEAR(speedGain(box).y, kG / 60.0f, 1e-4f);
  SendSettings("gravity", 25.0f, 0, true);
  scene.Step(1);
  const uint32_t late = scene.AddSolid("late", Vector(10, 40, 0), Vector(1, 1, 1), Box, Quaternion(), kStartDensity, kG);
  Pull(late, Vector(1, 0, 0), 3.0f);
  scene.Step(2);
  EXPECT_NEAR(speedGain(box).y, 25.0f / 60.0f, 1e-4f);
  const Vector gain = speedGain(late);
  EXPECT_NEAR(gain.y, 25.0f / 60.0f, 1e-4f);
  EXPECT_NEAR(gain.x, -3.0f / 60.0f, 1e-4f);
}

// Sleeping switched off wakes a resting box and keeps it awake; switched on
// again, it falls asleep again.
TEST(LiveSettings, SleepingOffKeepsBodiesAwake) {
  HeadlessScene scene;
  const uint32_t box = SettledBox(scene);
  ASSERT_TRUE(scene.Body(box).sleeping);
  SendSettings("sleeping", 0, 0, false);
  bool everAsleep = false;
  for (int step = 0; step < 240; ++step) {
    scene.Step(1);
    everAsleep = everAsleep || scene.Body(box).sleeping;
  }
  EXPECT_FALSE(everAsleep);
  SendSettings("sleeping", 0, 0, true);
  scene.Step(120);
  EXPECT_TRUE(scene.Body(box).sleeping);
}

// A box dropped on another: one solver sweep per step ends elsewhere than
// the default eight; eight asked for explicitly ends bit for bit where the
// default does.
TEST(LiveSettings, SolverIterationsAreUsed) {
  auto drop = [](int iterations) {
    HeadlessScene scene;
    if (iterations > 0) SendSettings("iterations", 0, static_cast<uint32_t>(iterations), true);
    scene.AddSolid("base", Vector(0, 0.6f, 0), Vector(1, 0.5f, 1), Box);
    const uint32_t top = scene.AddSolid("top", Vector(0.3f, 2.5f, 0), Vector(1, 0.5f, 1), Box);
    scene.Step(90);
    return scene.Object(top).position;
  };
  const Vector standard = drop(0);
  EXPECT_TRUE(drop(8) == standard);
  EXPECT_FALSE(drop(1) == standard);
}
