// Split orchestration over solids in the ObjectManager: what a cut makes of
// the scene (pieces, masses, inertia, collision data, gravity, the chop),
// the log lines it must print, the queue, and the mass properties of the
// pieces against their meshes' exact values.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "collision/collision_comp.h"
#include "collision/collision_shapes.h"
#include "core/event_manager.h"
#include "core/system.h"
#include "physics/physics_comp.h"
#include "scene/scene_dump.h"
#include "scene/scene_setup.h"
#include "scene/solid_factory.h"
#include "scene/split_orchestration.h"
#include "scene_test_util.h"
#include "support/log_capture.h"
#include "support/mesh_checks.h"
#include "support/objects.h"

namespace {

using scene_test::WorldVertices;
using support::SignedVolume;

// Every test starts from an empty table and empty event queues, and must
// end without an error in the log.
class SplitTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    Reset();
    EXPECT_FALSE(log.ErrorLogged()) << log.NewLog();
  }
  static void Reset() {
    support::ClearObjects();
    Drain("Physics");
    Drain("BROADCAST");
  }
  static std::deque<Event> Drain(const std::string& client) { return EventManager::Instance().GetEvents(client); }
  static uint32_t Add(const std::string& name, const Vector& position, const Vector& dimensions, int type = Box) {
    return ObjectManager::Instance().AddGameObject(BuildSolid(name, position, dimensions, type, Quaternion(), 10.0f));
  }
  static GameObject& Get(uint32_t number) { return ObjectManager::Instance().GetGameObject(number); }
  static Mesh& MeshOf(uint32_t number) { return scene_test::MeshOf(Get(number)); }
  static PhysicsComp& Physics(uint32_t number) { return *Get(number).Find<PhysicsComp>(); }
  support::LogCapture log;
};

float Distance(const Vector& a, const Vector& b) { return Length(WithW(a - b, 0.0f)); }

TEST_F(SplitTest, CubeCutThroughItsMiddleKeepsBackAndMakesFrontPiece) {
  const Vector position(3.0f, 1.0f, -2.0f);
  const uint32_t cube = Add("cube", position, Vector(1.0f, 1.0f, 1.0f));
  const uint32_t counter = ObjectManager::Instance().objCounter;
  const double wholeVolume = SignedVolume(MeshOf(cube));
  Get(cube).age = 500;
  SplitOrchestrator orchestrator;
  int chops = 0;
  Vector chopAt;
  orchestrator.onChop = [&](const Vector& at) { ++chops, chopAt = at; };
  // Plane x = 3 through the cube's middle, normal +x: the front half is x > 3.
  orchestrator.SliceObjects(Plane(Vector(1.0f, 0.0f, 0.0f), position));
  orchestrator.ProcessSplitQueue(1.0e6);
  ASSERT_TRUE(orchestrator.splitQueue.empty() && ObjectManager::Instance().objects.size() == 2u);
  const uint32_t piece = ObjectManager::Instance().GetObjNum("split_obj_" + std::to_string(counter + 100));
  for (const Vector& p : WorldVertices(Get(cube))) EXPECT_LE(p.x, 3.0f + 1e-4f);
  for (const Vector& p : WorldVertices(Get(piece))) EXPECT_GE(p.x, 3.0f - 1e-4f);
  for (const uint32_t number : {cube, piece}) {
    SCOPED_TRACE(Get(number).name);
    const Mesh& mesh = MeshOf(number);
    // Both count as new (age 0): slow frames cull the oldest objects first.
    EXPECT_TRUE(CountOpenEdges(mesh) == 0u && std::fabs(SignedVolume(mesh) - wholeVolume / 2.0) < 1e-3 && Get(number).age == 0);
    scene_test::ExpectExactBody(Get(number), 10.0);  // on its centre of mass, 10 per unit volume
    // Collision data regenerated: the sphere holds every vertex, the hull exists.
    const CollisionComp* collision = Get(number).Find<CollisionComp>();
    ASSERT_NE(collision, nullptr);
    EXPECT_TRUE(collision->hasHull && collision->hasLocalBox && (collision->groupMask & 1u));
    for (const Vertex& v : mesh.vertices)
      EXPECT_LE(Distance(v.Position(), collision->boundingCenter), collision->boundingRadius);
  }
  // One chop, at the midpoint of the two pieces; gravity for the new piece only.
  EXPECT_EQ(chops, 1);
  EXPECT_LT(Distance(chopAt, (Get(cube).position + Get(piece).position) * 0.5f), 1e-5f);
  std::deque<Event> physicsEvents = Drain("Physics");
  ASSERT_EQ(physicsEvents.size(), 1u);
  Event& gravity = physicsEvents.front();
  EXPECT_TRUE(gravity.GetParam<std::string>("type") == "GravityForce" && gravity.GetParam<uint32_t>("obj") == piece &&
              gravity.GetParam<float>("g") == 10.0f);
  EXPECT_EQ(log.CountLines("Split into front and back"), 1);
}

// Only objects whose sphere reaches behind the plane are queued, in one job
// each, never the ground; one "dist = " line per object looked at. A tumbled
// box (the object's own orientation set) cut off-centre: every vertex of
// either piece is an original corner or lies on the plane.
TEST_F(SplitTest, PlaneQueuesObjectsReachingBehindItAndTurnedPiecesStayWhereTheyWereCut) {
  const uint32_t behind = Add("behind", Vector(0.0f, 0.0f, -10.0f), Vector(1.0f, 1.0f, 1.0f));
  const uint32_t across = Add("across", Vector(), Vector(1.0f, 0.0f, 0.0f), Sphere);
  Add("ahead", Vector(0.0f, 0.0f, 10.0f), Vector(1.0f, 1.0f, 1.0f));
  ObjectManager::Instance().AddGameObject(BuildGroundPlane());
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(0.0f, 0.0f, 1.0f), Vector()));
  std::vector<uint32_t> queued;
  for (const SplitJob& job : orchestrator.splitQueue) queued.push_back(job.object);
  std::sort(queued.begin(), queued.end());
  EXPECT_EQ(queued, (std::vector<uint32_t>{behind, across}));
  EXPECT_EQ(log.CountLines("dist = "), 3);
  orchestrator.splitQueue.clear();
  Reset();
  GameObject turned = BuildSolid("box", Vector(-4.0f, 2.0f, 1.0f), Vector(1.5f, 0.75f, 1.0f), Box, Quaternion(), 10.0f);
  turned.orientation = Quaternion::FromAxisAngle(Normalize(Vector(1.0f, 2.0f, 0.5f)), 0.9f);
  const uint32_t box = ObjectManager::Instance().AddGameObject(turned);
  const std::vector<Vector> before = WorldVertices(Get(box));
  const Plane plane(Normalize(Vector(0.3f, 1.0f, -0.2f)), Vector(-4.2f, 2.3f, 1.0f));
  orchestrator.SliceObjects(plane);
  orchestrator.ProcessSplitQueue(1.0e6);
  ASSERT_EQ(ObjectManager::Instance().objects.size(), 2u);
  for (auto& entry : ObjectManager::Instance().objects)
    for (const Vector& p : WorldVertices(entry.second)) {
      float nearest = 1e9f;
      for (const Vector& q : before) nearest = std::min(nearest, Distance(p, q));
      EXPECT_TRUE(nearest < 1e-3f || std::fabs(plane.SignedDistance(p)) < 1e-3f) << entry.second.name << " " << p;
    }
}

// Wholly behind the plane, and a sliver (the plane passes within the
// on-plane tolerance of one corner, so the front gets no triangle): the
// object keeps its whole mesh and its mass, no chop, no new piece.
// A chip lighter than 0.1 is killed and its new piece never added; when
// neither half is usable nothing changes.
TEST_F(SplitTest, OneSidedCutsChipsAndUnusableHalves) {
  const Vector n = Normalize(Vector(1.0f, 1.0f, 1.0f));
  const struct {
    Vector position;
    Plane plane;
  } cases[] = {{Vector(0.0f, 0.0f, -5.0f), Plane(Vector(0.0f, 0.0f, 1.0f), Vector())},
               {Vector(), Plane(n, Vector(1.0f, 1.0f, 1.0f) - n * 0.005f)}};
  for (const auto& c : cases) {
    Reset();
    support::LogCapture caseLog;
    const uint32_t box = Add("box", c.position, Vector(1.0f, 1.0f, 1.0f));
    const uint32_t triangles = MeshOf(box).TriangleCount();
    const float createdMass = Physics(box).mass;
    SplitOrchestrator orchestrator;
    int chops = 0;
    orchestrator.onChop = [&](const Vector&) { ++chops; };
    orchestrator.SliceObjects(c.plane);
    ASSERT_EQ(orchestrator.splitQueue.size(), 1u);
    orchestrator.ProcessSplitQueue(1.0e6);
    EXPECT_EQ(caseLog.CountLines("Kept back"), 1) << caseLog.NewLog();
    EXPECT_TRUE(ObjectManager::Instance().objects.size() == 1u && MeshOf(box).TriangleCount() == triangles);
    EXPECT_NEAR(Physics(box).mass, createdMass, 1e-4 * createdMass);
    EXPECT_TRUE(chops == 0 && Drain("Physics").empty());
  }

  Reset();
  ObjectManager& manager = ObjectManager::Instance();
  const uint32_t chip = Add("chip", Vector(), Vector(0.05f, 0.05f, 0.05f));
  const uint32_t counter = manager.objCounter;
  Drain("BROADCAST");
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(1.0f, 0.0f, 0.0f), Vector()));
  orchestrator.ProcessSplitQueue(1.0e6);
  EXPECT_TRUE(log.CountLines("Split into front and back") == 1 && manager.objCounter == counter);
  ASSERT_EQ(manager.objects.size(), 1u);
  EXPECT_TRUE(Get(chip).dead && Drain("Physics").empty() && Drain("BROADCAST").size() == 1u);

  Reset();
  const uint32_t box = Add("box", Vector(), Vector(1.0f, 1.0f, 1.0f));
  const GameObject unchanged = Get(box);
  Mesh empty;
  EXPECT_TRUE(orchestrator.SplitIntoFrontAndBack(box, false, false, empty, empty).empty());
  EXPECT_EQ(log.CountLines("Cannot divide object any farther!"), 1);
  EXPECT_TRUE(Get(box).position == unchanged.position && Physics(box).mass == unchanged.Find<PhysicsComp>()->mass &&
              MeshOf(box).TriangleCount() == unchanged.Find<ModelComp>()->mesh.TriangleCount());
}

// Jobs run in queue order, a stage at a time, nothing in the scene changing
// before stage 3; a job whose object is gone ends quietly.
TEST_F(SplitTest, JobsRunInQueueOrderStageByStageAndGoneObjectsEndQuietly) {
  std::vector<uint32_t> boxes;
  for (int i = 0; i < 4; ++i) boxes.push_back(Add("box" + std::to_string(i), Vector(6.0f * i, 0.0f, 0.0f), Vector(1, 1, 1)));
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(0.0f, 1.0f, 0.0f), Vector(0.0f, 0.2f, 0.0f)));
  std::vector<uint32_t> order;
  for (const SplitJob& job : orchestrator.splitQueue) order.push_back(job.object);
  orchestrator.ProcessSplitQueue(0.0);  // no budget, no work
  ASSERT_EQ(orchestrator.splitQueue.size(), 4u);
  SplitJob& first = orchestrator.splitQueue.front();
  const uint32_t triangles = MeshOf(first.object).TriangleCount();
  for (int stage = 0; stage < 3; ++stage) {
    EXPECT_EQ(first.stage, stage);
    orchestrator.StepSplitJob(first);
    EXPECT_TRUE(MeshOf(first.object).TriangleCount() == triangles && ObjectManager::Instance().objects.size() == 4u);
  }
  // The rest runs in queue order: each new piece is numbered after the
  // piece of the job before it, and sits above the box it came from.
  orchestrator.ProcessSplitQueue(1.0e6);
  ASSERT_TRUE(orchestrator.splitQueue.empty() && ObjectManager::Instance().objects.size() == 8u);
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

  // One job removed before stage 0, one between stage 2 and stage 3.
  Reset();
  Add("box", Vector(), Vector(1.0f, 1.0f, 1.0f));
  const Plane plane(Vector(1.0f, 0.0f, 0.0f), Vector(0.1f, 0.0f, 0.0f));
  orchestrator.SliceObjects(plane);
  orchestrator.SliceObjects(plane);
  for (int i = 0; i < 3; ++i) orchestrator.StepSplitJob(orchestrator.splitQueue.back());
  support::ClearObjects();
  orchestrator.ProcessSplitQueue(1.0e6);
  EXPECT_TRUE(orchestrator.splitQueue.empty() && ObjectManager::Instance().objects.empty() && Drain("Physics").empty());
  EXPECT_EQ(log.CountLines("Split into front and back"), 4);
}

// Each start object cut through its centre of mass and beside it, on a
// slant: the pieces weigh what the object weighed, and each piece's body is
// that of its own mesh where it lies.
TEST_F(SplitTest, StartObjectsCutThroughAndBesideTheirCentresKeepTheirMass) {
  const Vector n = Normalize(Vector(0.3f, 1.0f, -0.2f));
  for (const StartObject& start : kStartObjects)
    for (const float offset : {0.0f, 0.4f * start.dimensions.x}) {
      Reset();
      const uint32_t object = Add(start.name, start.position, start.dimensions, start.type);
      const double whole = Physics(object).mass;
      SplitOrchestrator orchestrator;
      orchestrator.SliceObjects(Plane(n, Get(object).position + n * offset));
      orchestrator.ProcessSplitQueue(1.0e6);
      ASSERT_EQ(ObjectManager::Instance().objects.size(), 2u) << start.name << " " << offset;
      double total = 0.0;
      for (auto& entry : ObjectManager::Instance().objects) {
        total += entry.second.Find<PhysicsComp>()->mass;
        scene_test::ExpectExactBody(entry.second, 10.0);
      }
      EXPECT_NEAR(total, whole, 1e-4 * whole) << start.name << " " << offset;
    }
}

// One object whose mesh is two separate 2 x 2 x 2 boxes, cut through both:
// each half falls apart, so four bodies (the cut object and three new ones),
// each a closed part of a box with the body of its own mesh, two above the
// plane and two below.
TEST_F(SplitTest, HalvesThatFallApartBecomeOneBodyPerPart) {
  GameObject pair = BuildSolid("pair", Vector(), Vector(1.0f, 1.0f, 1.0f), Box, Quaternion(), 10.0f);
  Mesh& mesh = pair.Find<ModelComp>()->mesh;
  const uint32_t n = mesh.VertexCount(), t = mesh.TriangleCount();
  for (uint32_t v = 0; v < n; ++v) mesh.AddVertex(Vertex(mesh.vertices[v].x + 4.0f, mesh.vertices[v].y, mesh.vertices[v].z));
  for (uint32_t k = 0; k < t; ++k) {
    const uint32_t* i = mesh.triangles[k].indices;
    mesh.AddTriangle(i[0] + n, i[1] + n, i[2] + n);
  }
  GenerateBoundingSphere(pair);
  ObjectManager::Instance().AddGameObject(pair);
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(0.0f, 1.0f, 0.0f), Vector(0.0f, 0.3f, 0.0f)));
  orchestrator.ProcessSplitQueue(1.0e6);
  ASSERT_EQ(ObjectManager::Instance().objects.size(), 4u);
  int above = 0;
  for (auto& entry : ObjectManager::Instance().objects) {
    const Mesh& piece = scene_test::MeshOf(entry.second);
    EXPECT_EQ(CountOpenEdges(piece), 0u) << entry.second.name;
    above += entry.second.position.y > 0.3f;
    EXPECT_NEAR(std::fabs(SignedVolume(piece)), entry.second.position.y > 0.3f ? 2.8 : 5.2, 1e-3);
    scene_test::ExpectExactBody(entry.second, 10.0);
  }
  EXPECT_EQ(above, 2);
  EXPECT_EQ(Drain("Physics").size(), 3u);  // gravity for each new body
}

}  // namespace
