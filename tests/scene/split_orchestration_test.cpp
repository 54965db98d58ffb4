// Split orchestration over plain objects in the ObjectManager: what a cut
// makes of the scene, what it writes to the log, and in which order.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "collision/collision_comp.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "geom/mesh_builders.h"
#include "physics/physics_comp.h"
#include "scene/scene_dump.h"
#include "scene/solid_factory.h"
#include "scene/split_orchestration.h"
#include "scene_test_util.h"

namespace {

using scene_test::ExactVolume;
using scene_test::WorldVertices;

// Every test starts from an empty table and empty event queues, and must
// end without an error in the log.
class SplitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    logStart = System::Instance().GetLogText().size();
  }
  void TearDown() override {
    Reset();
    EXPECT_EQ(NewLog().find("ERROR"), std::string::npos) << NewLog();
    System::Instance().running = true;
  }
  static void Reset() {
    scene_test::ClearObjects();
    Drain("Physics");
    Drain("BROADCAST");
  }
  static std::deque<Event> Drain(const std::string& client) {
    return EventManager::Instance().GetEvents(client);
  }
  static uint32_t Add(const std::string& name, const Vector& position, const Vector& dimensions,
                      int type = Box) {
    return ObjectManager::Instance().AddGameObject(
        BuildSolid(name, position, dimensions, type, Quaternion(), 10.0f));
  }
  static GameObject& Get(uint32_t number) { return ObjectManager::Instance().GetGameObject(number); }
  static Mesh& MeshOf(uint32_t number) { return scene_test::MeshOf(Get(number)); }
  static float MassOf(uint32_t number) {
    return Get(number).Find<PhysicsComp>()->mass;
  }

  std::string NewLog() const { return System::Instance().GetLogText().substr(logStart); }
  int CountLines(const std::string& prefix) const {
    int count = 0;
    for (const std::string& line : scene_test::Lines(NewLog())) count += line.rfind(prefix, 0) == 0;
    return count;
  }

  size_t logStart = 0;
};

float Distance(const Vector& a, const Vector& b) { return Length(WithW(a - b, 0.0f)); }

}  // namespace

TEST_F(SplitTest, CubeCutThroughItsMiddleKeepsBackAndMakesFrontPiece) {
  const Vector position(3.0f, 1.0f, -2.0f);
  const uint32_t cube = Add("cube", position, Vector(1.0f, 1.0f, 1.0f));
  ASSERT_NE(cube, 0u);
  const uint32_t counter = ObjectManager::Instance().objCounter;
  const double wholeVolume = ExactVolume(MeshOf(cube));

  SplitOrchestrator orchestrator;
  int chops = 0;
  Vector chopAt;
  orchestrator.onChop = [&](const Vector& at) {
    ++chops;
    chopAt = at;
  };
  // Plane x = 3 through the cube's middle, normal +x: the front half is x > 3.
  orchestrator.SliceObjects(Plane(Vector(1.0f, 0.0f, 0.0f), position));
  ASSERT_EQ(orchestrator.splitQueue.size(), 1u);
  EXPECT_EQ(orchestrator.splitQueue.front().object, cube);
  orchestrator.ProcessSplitQueue(1.0e6);
  EXPECT_TRUE(orchestrator.splitQueue.empty());

  ASSERT_EQ(ObjectManager::Instance().objects.size(), 2u);
  const uint32_t piece =
      ObjectManager::Instance().GetObjNum("split_obj_" + std::to_string(counter + 100));
  EXPECT_EQ(Get(cube).name, "cube");
  EXPECT_EQ(Get(cube).age, 0);
  for (const Vector& p : WorldVertices(Get(cube))) EXPECT_LE(p.x, 3.0f + 1e-4f);
  for (const Vector& p : WorldVertices(Get(piece))) EXPECT_GE(p.x, 3.0f - 1e-4f);

  for (const uint32_t number : {cube, piece}) {
    SCOPED_TRACE(Get(number).name);
    const Mesh& mesh = MeshOf(number);
    EXPECT_LT(Length(WithW(mesh.Centroid(), 0.0f)), 1e-4f);  // re-centred on its centroid
    EXPECT_EQ(CountOpenEdges(mesh), 0u);
    // Mass from the volume estimate taken in the cube's frame (before
    // re-centring), and the matching inertia.
    Mesh original = mesh;
    const Vector shift = Get(number).position - position;
    for (Vertex& v : original.vertices) {
      v.x += shift.x;
      v.y += shift.y;
      v.z += shift.z;
    }
    const float mass = MassOf(number);
    EXPECT_NEAR(mass, 10.0 * EstimateVolume(original), 1e-3 * mass);
    const Matrix4 expected = ComputeInertia(mesh, mass);
    const PhysicsComp* physics = Get(number).Find<PhysicsComp>();
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(physics->inertiaTensor[i], expected[i], 1e-3f);
    // Collision data regenerated: the sphere holds every vertex, the hull exists.
    const CollisionComp* collision = Get(number).Find<CollisionComp>();
    ASSERT_NE(collision, nullptr);
    EXPECT_TRUE(collision->hasHull && collision->hasLocalBox);
    EXPECT_EQ(collision->groupMask & 1u, 1u);
    for (const Vertex& v : mesh.vertices)
      EXPECT_LE(Distance(v.Position(), collision->boundingCenter), collision->boundingRadius);
  }
  EXPECT_NEAR(ExactVolume(MeshOf(cube)) + ExactVolume(MeshOf(piece)), wholeVolume, 1e-3);
  EXPECT_NEAR(ExactVolume(MeshOf(cube)), wholeVolume / 2.0, 1e-3);

  // One chop, at the midpoint of the two pieces; gravity for the new piece only.
  EXPECT_EQ(chops, 1);
  EXPECT_LT(Distance(chopAt, (Get(cube).position + Get(piece).position) * 0.5f), 1e-5f);
  std::deque<Event> physicsEvents = Drain("Physics");
  ASSERT_EQ(physicsEvents.size(), 1u);
  Event& gravity = physicsEvents.front();
  EXPECT_EQ(gravity.type, "AddForce");
  EXPECT_EQ(gravity.GetParam<std::string>("type"), "GravityForce");
  EXPECT_EQ(gravity.GetParam<uint32_t>("obj"), piece);
  EXPECT_FLOAT_EQ(gravity.GetParam<float>("g"), 10.0f);

  EXPECT_EQ(CountLines("mass = "), 2);
  EXPECT_EQ(CountLines("Attempting split"), 1);
}

TEST_F(SplitTest, RotatedObjectPiecesStayWhereTheyWereCut) {
  // A tumbled box (the object's own orientation set) cut off-centre: every
  // vertex of either piece is an original corner or lies on the plane.
  GameObject turned = BuildSolid("box", Vector(-4.0f, 2.0f, 1.0f), Vector(1.5f, 0.75f, 1.0f), Box,
                                 Quaternion(), 10.0f);
  turned.orientation = Quaternion::FromAxisAngle(Normalize(Vector(1.0f, 2.0f, 0.5f)), 0.9f);
  const uint32_t box = ObjectManager::Instance().AddGameObject(turned);
  ASSERT_NE(box, 0u);
  const std::vector<Vector> before = WorldVertices(Get(box));

  const Plane plane(Normalize(Vector(0.3f, 1.0f, -0.2f)), Vector(-4.2f, 2.3f, 1.0f));
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(plane);
  orchestrator.ProcessSplitQueue(1.0e6);
  ASSERT_EQ(ObjectManager::Instance().objects.size(), 2u);
  for (auto& entry : ObjectManager::Instance().objects)
    for (const Vector& p : WorldVertices(entry.second)) {
      float nearest = 1e9f;
      for (const Vector& q : before) nearest = std::min(nearest, Distance(p, q));
      EXPECT_TRUE(nearest < 1e-3f || std::fabs(plane.SignedDistance(p)) < 1e-3f)
          << entry.second.name << " " << p;
    }
}

TEST_F(SplitTest, PlaneQueuesOnlyObjectsReachingBehindIt) {
  const uint32_t behind = Add("behind", Vector(0.0f, 0.0f, -10.0f), Vector(1.0f, 1.0f, 1.0f));
  const uint32_t across = Add("across", Vector(), Vector(1.0f, 0.0f, 0.0f), Sphere);
  Add("ahead", Vector(0.0f, 0.0f, 10.0f), Vector(1.0f, 1.0f, 1.0f));
  ObjectManager::Instance().AddGameObject(BuildGroundPlane());

  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(0.0f, 0.0f, 1.0f), Vector()));
  std::vector<uint32_t> queued;
  for (const SplitJob& job : orchestrator.splitQueue) {
    queued.push_back(job.object);
    EXPECT_EQ(job.stage, 0);
  }
  std::sort(queued.begin(), queued.end());
  EXPECT_EQ(queued, (std::vector<uint32_t>{behind, across}));
  EXPECT_EQ(CountLines("dist = "), 3);  // one per object, the ground excepted
}

TEST_F(SplitTest, OneSidedCutsKeepTheWholeBackWithMassRecomputed) {
  const Vector n = Normalize(Vector(1.0f, 1.0f, 1.0f));
  // Wholly behind the plane; and a sliver: the plane passes within the
  // on-plane tolerance of one corner, so the front gets no triangle.
  const struct {
    const char* label;
    Vector position;
    Plane plane;
  } cases[] = {{"wholly behind", Vector(0.0f, 0.0f, -5.0f), Plane(Vector(0.0f, 0.0f, 1.0f), Vector())},
               {"sliver", Vector(), Plane(n, Vector(1.0f, 1.0f, 1.0f) - n * 0.005f)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Reset();
    logStart = System::Instance().GetLogText().size();
    const uint32_t box = Add("box", c.position, Vector(1.0f, 1.0f, 1.0f));
    const uint32_t triangles = MeshOf(box).TriangleCount();
    const double estimate = EstimateVolume(MeshOf(box));
    const float createdMass = MassOf(box);
    SplitOrchestrator orchestrator;
    int chops = 0;
    orchestrator.onChop = [&](const Vector&) { ++chops; };
    orchestrator.SliceObjects(c.plane);
    ASSERT_EQ(orchestrator.splitQueue.size(), 1u);
    orchestrator.ProcessSplitQueue(1.0e6);

    EXPECT_EQ(CountLines("Kept back"), 1) << NewLog();
    EXPECT_EQ(CountLines("Split into front and back"), 0);
    EXPECT_EQ(ObjectManager::Instance().objects.size(), 1u);
    EXPECT_EQ(MeshOf(box).TriangleCount(), triangles);
    EXPECT_EQ(CountOpenEdges(MeshOf(box)), 0u);
    EXPECT_NEAR(MassOf(box), 10.0 * estimate, 1e-3 * MassOf(box));
    EXPECT_NE(MassOf(box), createdMass);
    EXPECT_EQ(chops, 0);
    EXPECT_TRUE(Drain("Physics").empty());
    EXPECT_EQ(CountLines("mass = "), 1);
  }
}

TEST_F(SplitTest, PiecesLighterThanTheChipLimitAreNotKept) {
  // A cube 0.1 wide: each half weighs far below 0.1. The cut object is
  // killed and swept; the new piece is never added (an added copy would
  // lose its dead flag and stay forever).
  const uint32_t chip = Add("chip", Vector(), Vector(0.05f, 0.05f, 0.05f));
  const uint32_t counter = ObjectManager::Instance().objCounter;
  Drain("BROADCAST");
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(1.0f, 0.0f, 0.0f), Vector()));
  orchestrator.ProcessSplitQueue(1.0e6);

  ObjectManager& manager = ObjectManager::Instance();
  EXPECT_EQ(CountLines("Split into front and back"), 1) << NewLog();
  EXPECT_EQ(manager.objCounter, counter);
  ASSERT_EQ(manager.objects.size(), 1u);
  EXPECT_TRUE(Get(chip).dead);
  EXPECT_TRUE(Drain("Physics").empty());
  std::deque<Event> kills = Drain("BROADCAST");
  ASSERT_EQ(kills.size(), 1u);
  EXPECT_EQ(kills.front().GetParam<uint32_t>("objNum"), chip);
  manager.RemoveDeadObjects();
  EXPECT_TRUE(manager.objects.empty());
}

TEST_F(SplitTest, NeitherHalfUsableLeavesTheObjectUnchanged) {
  const uint32_t box = Add("box", Vector(), Vector(1.0f, 1.0f, 1.0f));
  const Vector position = Get(box).position;
  const float mass = MassOf(box);
  const uint32_t triangles = MeshOf(box).TriangleCount();
  Mesh empty;
  SplitOrchestrator orchestrator;
  EXPECT_TRUE(orchestrator.SplitIntoFrontAndBack(box, false, false, empty, empty).empty());
  EXPECT_EQ(CountLines("Cannot divide object any farther!"), 1);
  EXPECT_EQ(Get(box).position, position);
  EXPECT_EQ(MassOf(box), mass);
  EXPECT_EQ(MeshOf(box).TriangleCount(), triangles);
}

TEST_F(SplitTest, JobsRunInQueueOrderStageByStage) {
  std::vector<uint32_t> boxes;
  for (int i = 0; i < 4; ++i)
    boxes.push_back(Add("box" + std::to_string(i), Vector(6.0f * i, 0.0f, 0.0f), Vector(1, 1, 1)));
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(0.0f, 1.0f, 0.0f), Vector(0.0f, 0.2f, 0.0f)));
  ASSERT_EQ(orchestrator.splitQueue.size(), 4u);
  std::vector<uint32_t> order;
  for (const SplitJob& job : orchestrator.splitQueue) order.push_back(job.object);

  orchestrator.ProcessSplitQueue(0.0);  // no budget, no work
  EXPECT_EQ(orchestrator.splitQueue.size(), 4u);
  EXPECT_EQ(CountLines("Attempting split"), 0);

  // Stepping the front job: nothing in the scene changes before stage 3.
  SplitJob& first = orchestrator.splitQueue.front();
  const uint32_t triangles = MeshOf(first.object).TriangleCount();
  for (int stage = 0; stage < 3; ++stage) {
    EXPECT_EQ(first.stage, stage);
    orchestrator.StepSplitJob(first);
    EXPECT_EQ(MeshOf(first.object).TriangleCount(), triangles);
    EXPECT_EQ(ObjectManager::Instance().objects.size(), 4u);
  }
  EXPECT_TRUE(first.keepFront && first.keepBack);

  // The rest runs in queue order: each new piece is numbered after the
  // piece of the job before it, and sits above the box it came from.
  orchestrator.ProcessSplitQueue(1.0e6);
  EXPECT_TRUE(orchestrator.splitQueue.empty());
  ASSERT_EQ(ObjectManager::Instance().objects.size(), 8u);
  std::vector<std::pair<uint32_t, uint32_t>> pieceOf;  // (piece number, source box)
  for (auto& entry : ObjectManager::Instance().objects) {
    if (entry.second.name.rfind("split_obj_", 0) != 0) continue;
    EXPECT_GT(entry.second.position.y, 0.2f);
    pieceOf.emplace_back(entry.first, boxes[std::lround(entry.second.position.x / 6.0f)]);
  }
  std::sort(pieceOf.begin(), pieceOf.end());
  std::vector<uint32_t> sources;
  for (const auto& p : pieceOf) sources.push_back(p.second);
  EXPECT_EQ(sources, order);
  EXPECT_EQ(CountLines("Split into front and back"), 4);
}

TEST_F(SplitTest, JobsForRemovedObjectsEndQuietly) {
  Add("box", Vector(), Vector(1.0f, 1.0f, 1.0f));
  SplitOrchestrator orchestrator;
  const Plane plane(Vector(1.0f, 0.0f, 0.0f), Vector(0.1f, 0.0f, 0.0f));
  // One job removed before stage 0, one between stage 2 and stage 3.
  orchestrator.SliceObjects(plane);
  orchestrator.SliceObjects(plane);
  ASSERT_EQ(orchestrator.splitQueue.size(), 2u);
  SplitJob& late = orchestrator.splitQueue.back();
  for (int i = 0; i < 3; ++i) orchestrator.StepSplitJob(late);
  EXPECT_EQ(late.stage, 3);
  scene_test::ClearObjects();

  orchestrator.ProcessSplitQueue(1.0e6);
  EXPECT_TRUE(orchestrator.splitQueue.empty());
  EXPECT_TRUE(ObjectManager::Instance().objects.empty());
  EXPECT_EQ(CountLines("Split into front and back"), 0);
  EXPECT_TRUE(Drain("Physics").empty());
}

TEST(SplitMassTest, VolumeEstimateAndInertiaFollowTheirFormulas) {
  // One triangle: |cross| = sqrt 3, centroid distance 1 / sqrt 3, so 1/3.
  Mesh triangle;
  triangle.AddVertex(Vertex(1.0f, 0.0f, 0.0f));
  triangle.AddVertex(Vertex(0.0f, 1.0f, 0.0f));
  triangle.AddVertex(Vertex(0.0f, 0.0f, 1.0f));
  triangle.AddTriangle(0, 1, 2);
  EXPECT_NEAR(EstimateVolume(triangle), 1.0 / 3.0, 1e-7);
  // Point masses m/3 at the corners: each diagonal entry is (m/3) (0 + 1 + 1).
  const Matrix4 inertia = ComputeInertia(triangle, 6.0f);
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(inertia(i, i), 4.0f);
  EXPECT_FLOAT_EQ(inertia(3, 3), 0.0f);
  EXPECT_FLOAT_EQ(inertia(0, 1), 0.0f);

  // A mesh without triangles has no volume and no inertia.
  EXPECT_EQ(EstimateVolume(Mesh()), 0.0);
  const Matrix4 none = ComputeInertia(Mesh(), 1.0f);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(none[i], 0.0f);

}
