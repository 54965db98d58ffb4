// The headless scene, collision and physics in lockstep as on the two
// worker threads: a rebuilt scene starts clean, everything falls under
// g = 10 and comes to rest on (not in) the ground at the contact slop, with
// no contact ever pulling; then cuts made while it runs, the split queue
// doing its work once per frame as in the program; and fast shots, which
// stop on the ground or a thin plate rather than pass into it.

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "physics/physics.h"
#include "physics/physics_comp.h"
#include "scene/headless_scene.h"
#include "scene/scene_dump.h"
#include "scene/split_orchestration.h"
#include "scene_test_util.h"
#include "support/log_capture.h"
#include "support/mesh_checks.h"

namespace {

using scene_test::Finite;

// Sum of the exact volumes of every solid but the ground.
double SolidVolume() {
  double total = 0.0;
  for (auto& entry : ObjectManager::Instance().objects)
    if (entry.second.name != "GROUND_PLANE" && !entry.second.dead)
      total += support::SignedVolume(scene_test::MeshOf(entry.second));
  return total;
}

}  // namespace

TEST(HeadlessScene, RebuiltSceneObjectsComeToRestOnTheGroundAtTheSlopDepth) {
  support::LogCapture log;
  uint32_t firstGround = 0;
  {
    HeadlessScene scene;
    scene.AddStartObjects();
    scene.Step(5);
    firstGround = scene.groundId;
  }
  // A destroyed scene leaves nothing behind for the next one.
  PhysicsWorld& world = Physics::Instance().World();
  EXPECT_TRUE(ObjectManager::Instance().objects.empty() && world.bodies.empty() && world.forces.empty());
  HeadlessScene scene;
  EXPECT_NE(scene.groundId, firstGround);
  std::vector<uint32_t> ids = scene.AddStartObjects();
  const uint32_t box = scene.AddSolid("box", Vector(8, 1.0f, 0), Vector(1, 0.5f, 1), Box);
  ids.push_back(box);
  scene.Step(2);
  EXPECT_TRUE(world.bodies.size() == 5u && world.forces.size() == 4u && world.GroundId() == scene.groundId);
  EXPECT_NEAR(scene.Body(ids[0]).linearVelocity.y, -20.0f / 60.0f, 1e-4f);  // two steps from rest
  const Vector groundStart = scene.Object(scene.groundId).position;
  for (int i = 2; i < 600; ++i) {  // ten seconds in all
    scene.Step(1);
    for (size_t row = 0; row < world.solver.RowCount(); ++row)
      ASSERT_TRUE(!world.solver.bodyMap[row].isContact || world.solver.Lambda(row) >= 0.0f) << row;
    ASSERT_TRUE(scene.Object(scene.groundId).position == groundStart && scene.Body(scene.groundId).linearVelocity == Vector());
    for (uint32_t id : ids) ASSERT_TRUE(Finite(scene.Object(id).position) && Finite(scene.Body(id).angularVelocity)) << i;
  }
  for (uint32_t id : ids)
    EXPECT_TRUE(Length(scene.Body(id).linearVelocity) < 0.05f && Length(scene.Body(id).angularVelocity) < 0.05f) << id;
  // The hull margin (0.08 at the centre of a bottom face) is what sinks in,
  // so the meshes rest on the top face: the sphere (radius 2) and the boxes
  // (half heights 1 and 0.5) at their sizes plus a little.
  EXPECT_NEAR(scene.Object(ids[1]).position.y, 2.0f + 0.08f, 0.1f);
  EXPECT_NEAR(scene.Object(ids[2]).position.y, 1.0f + 0.08f, 0.1f);
  // Only the hull margins overlap: the box's mesh rests on the top face,
  // 0.01 deep at most.
  EXPECT_NEAR(scene.Object(box).position.y, 0.5f, 0.015f);
  EXPECT_NEAR(std::hypot(scene.Object(box).position.x - 8.0f, scene.Object(box).position.z), 0.0f, 0.02f);
  EXPECT_FALSE(log.ErrorLogged()) << log.NewLog();
}

// The drag across the sphere first (its halves resting on the ground are
// checked end to end), then ten more cuts across the pile: every piece stays
// closed, finite, above the ground, and the volume is kept. Left alone for
// ten seconds the heap of pieces, light and heavy, is asleep; woken all at
// once, it comes to rest again. (It may shift a little first: a piece that
// creeps slower than the sleep drift allows falls asleep where it is. Over
// twenty cut sequences the largest shift was 0.01 to 0.9 units.)
TEST(SplitSceneTest, CutsKeepEveryPieceClosedOnTheGroundAndTheVolume) {
  HeadlessScene::InitModules();
  HeadlessScene scene;
  scene.AddStartObjects();
  scene.Step(180);
  const double startVolume = SolidVolume();

  // The plane of a vertical drag across the sphere from the start camera:
  // through the line's two ends (on the near plane) and the eye.
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane::FromPoints(Vector(5.1669f, 2.1976f, 1.1449f),
                                              Vector(5.1669f, 2.0360f, 1.1449f),
                                              Vector(5.3574f, 2.1208f, 1.2421f)));
  ASSERT_EQ(orchestrator.splitQueue.size(), 1u);  // the plane misses the cone and the box
  orchestrator.ProcessSplitQueue(1.0e6);
  ASSERT_EQ(ObjectManager::Instance().objects.size(), 5u);
  // Ten planes through the pile, a fixed pseudo-random set, each followed by
  // frames as the program runs them: the queue within its budget, then
  // collision and physics, then the sweep.
  std::mt19937 random(20261206);
  std::uniform_real_distribution<float> x(-8.0f, 1.0f), y(0.3f, 3.0f), z(-4.0f, 5.0f),
      unit(-1.0f, 1.0f);
  for (int cut = 0; cut < 10; ++cut) {
    Vector normal(unit(random), unit(random), unit(random));
    if (Length(normal) < 0.1f) normal = Vector(1.0f, 0.0f, 0.0f);
    orchestrator.SliceObjects(Plane(Normalize(normal), Vector(x(random), y(random), z(random))));
    for (int frame = 0; frame < 30; ++frame) {
      orchestrator.ProcessSplitQueue();
      scene.Step(1);
      ObjectManager::Instance().RemoveDeadObjects();
    }
  }
  while (!orchestrator.splitQueue.empty()) orchestrator.ProcessSplitQueue();
  ObjectManager::Instance().RemoveDeadObjects();
  scene.Step(600);

  int pieces = 0;
  for (auto& entry : ObjectManager::Instance().objects) {
    GameObject& obj = entry.second;
    SCOPED_TRACE(obj.name);
    const Mesh& mesh = scene_test::MeshOf(obj);
    EXPECT_EQ(CountOpenEdges(mesh), 0u);
    ASSERT_TRUE(Finite(obj.position));
    if (obj.name == "GROUND_PLANE") continue;
    pieces += obj.name.rfind("split_obj_", 0) == 0 ? 1 : 0;
    const PhysicsComp* body = obj.Find<PhysicsComp>();
    EXPECT_GE(body->mass, 0.1f);
    EXPECT_TRUE(Finite(body->linearVelocity));
    // Resting pieces sink about the 0.08 contact slop; a small piece still
    // settling may be a little deeper. Falling through would be far lower.
    EXPECT_GT(scene_test::Heights(obj).first, -0.25f);
    const support::Moments moments = support::PolyhedronMoments(mesh);  // origin at the centre of mass
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(moments.centre[k], 0.0, 1e-3);
  }
  EXPECT_GE(pieces, 4);
  std::vector<std::pair<GameObject*, Vector>> asleep;
  for (auto& entry : ObjectManager::Instance().objects) {
    PhysicsComp* body = entry.second.Find<PhysicsComp>();
    if (entry.first == scene.groundId || body == nullptr) continue;
    EXPECT_TRUE(body->sleeping) << entry.second.name;
    body->sleeping = false;
    asleep.emplace_back(&entry.second, entry.second.position);
  }
  scene.Step(300);
  for (const auto& piece : asleep) {
    EXPECT_TRUE(piece.first->Find<PhysicsComp>()->sleeping) << piece.first->name;
    EXPECT_GT(scene_test::Heights(*piece.first).first, -0.25f) << piece.first->name;
  }
  // Cuts only divide: what is left is the start volume less any chips.
  const double endVolume = SolidVolume();
  EXPECT_LE(endVolume, startVolume * 1.001);
  EXPECT_GE(endVolume, startVolume * 0.98);
}

// Fast shots: small solids flying at 30, 60 and 120 units/s (half a unit to
// two units a step, more than their own size), straight down and at 45
// degrees, onto the ground and onto a thin plate (4 x 0.1 x 4) lying on it.
// The collision layer reports each pair while it is still apart by what the
// bodies may close before the next frame, and the physics lets them close
// that gap and no more: no shot's centre ever gets below the ground top or
// under the plate, none ends sunk into the ground, and none is slowed before
// it comes within the hull margins of what it is shot at.
TEST(HeadlessScene, FastShotsNeitherPassThroughNorSlowBeforeTheGroundOrAThinPlate) {
  HeadlessScene scene;
  struct Shot {
    uint32_t id, plate;
    Vector velocity;  // as launched
    float top;        // height of what it is shot at
    int through = 0, slowed = 0;
    bool near = false;
  };
  std::vector<Shot> shots;
  // Sphere radius 0.2, box half extents 0.3, cone base radius 0.5 and height
  // 0.5, each in a lane of its own along x, where an oblique one slides on.
  const ModelType types[] = {Sphere, Box, Cone};
  const Vector sizes[] = {Vector(0.2f, 0, 0), Vector(0.3f, 0.3f, 0.3f), Vector(0.5f, 0.25f, 0)};
  for (int shape = 0; shape < 3; ++shape)
    for (const float speed : {30.0f, 60.0f, 120.0f})
      for (const float across : {0.0f, 1.0f})
        for (const float top : {0.0f, 0.1f}) {
          const Vector target(0.0f, top, 6.0f * shots.size() - 105.0f), direction = Normalize(Vector(across, -1, 0));
          const std::string name = "shot " + std::to_string(shots.size());
          const uint32_t plate = top > 0.0f ? scene.AddSolid("plate " + name, target - Vector(0, 0.05f, 0), Vector(2, 0.05f, 2), Box) : 0;
          const uint32_t id = scene.AddSolid(name, target - direction * 3.0f, sizes[shape], types[shape], Quaternion(), kShotDensity);
          scene.Body(id).linearVelocity = direction * speed;
          shots.push_back(Shot{id, plate, direction * speed, top});
        }
  for (int step = 1; step <= 60; ++step) {
    scene.Step(1);
    for (Shot& shot : shots) {
      GameObject& object = scene.Object(shot.id);
      // Until it first comes within the hull margins of what it is shot at,
      // nothing may act on it but gravity (g = 10).
      shot.near = shot.near || scene_test::Heights(object).first < shot.top + 0.3f;
      const Vector free = shot.velocity - Vector(0, 10.0f * step / 60.0f, 0);
      shot.slowed += !shot.near && Length(scene.Body(shot.id).linearVelocity - free) > 0.01f ? 1 : 0;
      // Within the plate's outline, the centre stays above its middle.
      const Vector local = shot.plate == 0 ? Vector(0, 1, 0)
                                           : scene.Object(shot.plate).orientation.Conjugate().Rotate(
                                                 object.position - scene.Object(shot.plate).position);
      shot.through += object.position.y < 0.0f || (std::fabs(local.x) < 2.0f && std::fabs(local.z) < 2.0f && local.y < 0.0f);
    }
  }
  for (const Shot& shot : shots)
    EXPECT_TRUE(shot.through == 0 && shot.slowed == 0 && scene_test::Heights(scene.Object(shot.id)).first > -0.1f)
        << scene.Object(shot.id).name << ": " << shot.through << " steps through, " << shot.slowed << " slowed, ends at "
        << scene_test::Heights(scene.Object(shot.id)).first;
}
