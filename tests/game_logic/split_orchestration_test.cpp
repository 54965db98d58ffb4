// Split orchestration over plain objects in the ObjectManager: what a cut
// makes of the scene, what it writes to the log, and in which order.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "collision/collision_comp.h"
#include "event_manager.h"
#include "game_logic/scene_dump.h"
#include "game_logic/solid_factory.h"
#include "game_logic/split_orchestration.h"
#include "geom/mesh_builders.h"
#include "object_manager.h"
#include "objects/model_comp.h"
#include "physics/physics_comp.h"
#include "system.h"

namespace {

// Every test starts from an empty table, empty event queues and a private
// working directory (an error report writes its file there).
class SplitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home = std::filesystem::current_path();
    std::string pattern =
        (std::filesystem::temp_directory_path() / "cleave_split_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      scratch = pattern;
      std::filesystem::current_path(scratch);
    }
    ClearScene();
    Drain("Physics");
    Drain("BROADCAST");
    logStart = System::Instance().GetLogText().size();
  }

  void TearDown() override {
    ClearScene();
    Drain("Physics");
    Drain("BROADCAST");
    EXPECT_FALSE(System::Instance().GetLogText().substr(logStart).find("ERROR") !=
                 std::string::npos)
        << NewLog();
    System::Instance().running = true;
    std::filesystem::current_path(home);
    std::error_code ignored;
    if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
  }

  static void ClearScene() {
    ObjectManager& manager = ObjectManager::Instance();
    manager.Lock();
    for (auto& entry : manager.objects) manager.KillGameObject(entry.second);
    manager.RemoveDeadObjects();
    manager.Unlock();
  }

  static std::deque<Event> Drain(const std::string& client) {
    return EventManager::Instance().GetEvents(client);
  }

  static uint32_t Add(const std::string& name, const Vector& position, const Vector& dimensions,
                      int type, const Quaternion& orientation = Quaternion()) {
    return ObjectManager::Instance().AddGameObject(
        BuildSolid(name, position, dimensions, type, orientation, 10.0f));
  }

  static GameObject& Get(uint32_t number) { return ObjectManager::Instance().GetGameObject(number); }
  static Mesh& MeshOf(uint32_t number) {
    return Get(number).FindComponent<ModelComp>("ModelComp")->mesh;
  }
  static float MassOf(uint32_t number) {
    return Get(number).FindComponent<PhysicsComp>("PhysicsComp")->mass;
  }

  std::string NewLog() const { return System::Instance().GetLogText().substr(logStart); }
  std::vector<std::string> NewLines() const {
    std::vector<std::string> lines;
    std::istringstream in(NewLog());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Index of the first line at or after `from` that starts with prefix, or -1.
  int FindLine(const std::string& prefix, int from = 0) const {
    const std::vector<std::string> lines = NewLines();
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
      if (lines[i].rfind(prefix, 0) == 0) return i;
    return -1;
  }
  int CountLines(const std::string& prefix) const {
    int count = 0;
    for (const std::string& line : NewLines()) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
  }

  std::filesystem::path home, scratch;
  size_t logStart = 0;
};

// World positions of every vertex of an object.
std::vector<Vector> WorldVertices(GameObject& obj) {
  std::vector<Vector> out;
  const ModelComp* model = obj.FindComponent<ModelComp>("ModelComp");
  for (const Vertex& v : model->mesh.vertices)
    out.push_back(obj.orientation.Rotate(v.Position() * model->scale) + obj.position);
  return out;
}

// Exact enclosed volume of a closed, outward-wound mesh: sum p0 . (p1 x p2) / 6.
double ExactVolume(const Mesh& mesh) {
  double sum = 0.0;
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t)
    sum += Dot3(mesh.CornerPosition(t, 0),
                Cross(mesh.CornerPosition(t, 1), mesh.CornerPosition(t, 2)));
  return sum / 6.0;
}

float Distance(const Vector& a, const Vector& b) { return Length(WithW(a - b, 0.0f)); }

}  // namespace

// ---------------------------------------------------------------------------
// The road of one cut
// ---------------------------------------------------------------------------

TEST_F(SplitTest, CubeCutThroughItsMiddleKeepsBackAndMakesFrontPiece) {
  const Vector position(3.0f, 1.0f, -2.0f);
  const uint32_t cube = Add("cube", position, Vector(1.0f, 1.0f, 1.0f), Box);
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

  ObjectManager& manager = ObjectManager::Instance();
  ASSERT_EQ(manager.objects.size(), 2u);
  const std::string pieceName = "split_obj_" + std::to_string(counter + 100);
  const uint32_t piece = manager.GetObjNum(pieceName);
  EXPECT_EQ(Get(cube).name, "cube");
  EXPECT_EQ(Get(cube).age, 0);

  // Back half (x <= 3) stays in the cube, the front half (x >= 3) is the piece.
  for (const Vector& p : WorldVertices(Get(cube))) EXPECT_LE(p.x, 3.0f + 1e-4f);
  for (const Vector& p : WorldVertices(Get(piece))) EXPECT_GE(p.x, 3.0f - 1e-4f);

  for (const uint32_t number : {cube, piece}) {
    SCOPED_TRACE(Get(number).name);
    const Mesh& mesh = MeshOf(number);
    // Re-centred: the mesh origin is its centroid.
    EXPECT_LT(Length(WithW(mesh.Centroid(), 0.0f)), 1e-4f);
    // Closed: every directed edge has its reverse.
    EXPECT_EQ(CountOpenEdges(mesh), 0u);
    // Mass from the volume estimate, measured in the cube's frame (the
    // estimate is taken before re-centring), and the matching inertia.
    Mesh original = mesh;
    const Vector shift = Get(number).position - position;
    for (Vertex& v : original.vertices) {
      v.x += shift.x;
      v.y += shift.y;
      v.z += shift.z;
    }
    const float mass = MassOf(number);
    EXPECT_NEAR(mass, 10.0 * EstimateVolume(original), 1e-3 * mass);
    const PhysicsComp* physics = Get(number).FindComponent<PhysicsComp>("PhysicsComp");
    const Matrix4 expected = ComputeInertia(mesh, mass);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(physics->inertiaTensor[i], expected[i], 1e-3f);
    // Collision data regenerated: the sphere holds every vertex, the hull exists.
    const CollisionComp* collision = Get(number).FindComponent<CollisionComp>("CollisionComp");
    ASSERT_NE(collision, nullptr);
    EXPECT_TRUE(collision->hasHull);
    EXPECT_TRUE(collision->hasLocalBox);
    EXPECT_EQ(collision->groupMask & 1u, 1u);
    for (const Vertex& v : mesh.vertices)
      EXPECT_LE(Distance(v.Position(), collision->boundingCenter), collision->boundingRadius);
  }
  // The two halves make up the cube exactly.
  EXPECT_NEAR(ExactVolume(MeshOf(cube)) + ExactVolume(MeshOf(piece)), wholeVolume, 1e-3);
  EXPECT_NEAR(ExactVolume(MeshOf(cube)), wholeVolume / 2.0, 1e-3);

  // One chop, at the midpoint of the two pieces.
  EXPECT_EQ(chops, 1);
  EXPECT_LT(Distance(chopAt, (Get(cube).position + Get(piece).position) * 0.5f), 1e-5f);

  // Gravity for the new piece only.
  std::deque<Event> physicsEvents = Drain("Physics");
  ASSERT_EQ(physicsEvents.size(), 1u);
  Event& gravity = physicsEvents.front();
  EXPECT_EQ(gravity.type, "AddForce");
  EXPECT_EQ(gravity.GetParam<std::string>("type"), "GravityForce");
  EXPECT_EQ(gravity.GetParam<uint32_t>("obj"), piece);
  EXPECT_FLOAT_EQ(gravity.GetParam<float>("g"), 10.0f);

  // The whole road in the log, in order.
  int at = 0;
  for (const char* prefix :
       {"dist = ", "Attempting split", "endSplit - startSplit = ", "endRepair - startRepair = ",
        "endFindDegenerate - startFindDegenerate = ", "Split into front and back", "mass = ",
        "mass = ", "generateAttributesEnd - generateAttributesBegin = ",
        "generatePhysicsEnd - generatePhysicsBegin = "}) {
    const int found = FindLine(prefix, at);
    ASSERT_GE(found, 0) << "missing or out of order: " << prefix << "\n" << NewLog();
    at = found + 1;
  }
  EXPECT_EQ(CountLines("mass = "), 2);
  EXPECT_EQ(CountLines("Attempting split"), 1);
}

TEST_F(SplitTest, RotatedObjectPiecesStayWhereTheyWereCut) {
  // A box turned about an oblique axis, cut off-centre: every vertex of
  // either piece is an original corner or lies on the plane, in world space.
  // (The solid factory turns the mesh, not the object, so the object's own
  // orientation is set here: that is what a body has after it has tumbled.)
  const Quaternion turn = Quaternion::FromAxisAngle(Normalize(Vector(1.0f, 2.0f, 0.5f)), 0.9f);
  GameObject turned = BuildSolid("box", Vector(-4.0f, 2.0f, 1.0f), Vector(1.5f, 0.75f, 1.0f), Box,
                                 Quaternion(), 10.0f);
  turned.orientation = turn;
  const uint32_t box = ObjectManager::Instance().AddGameObject(turned);
  ASSERT_NE(box, 0u);
  const std::vector<Vector> before = WorldVertices(Get(box));

  const Plane plane(Normalize(Vector(0.3f, 1.0f, -0.2f)), Vector(-4.2f, 2.3f, 1.0f));
  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(plane);
  orchestrator.ProcessSplitQueue(1.0e6);
  ASSERT_EQ(ObjectManager::Instance().objects.size(), 2u);

  for (auto& entry : ObjectManager::Instance().objects) {
    SCOPED_TRACE(entry.second.name);
    for (const Vector& p : WorldVertices(entry.second)) {
      float nearest = 1e9f;
      for (const Vector& q : before) nearest = std::min(nearest, Distance(p, q));
      const bool onPlane = std::fabs(plane.SignedDistance(p)) < 1e-3f;
      EXPECT_TRUE(nearest < 1e-3f || onPlane) << p;
    }
  }
}

// ---------------------------------------------------------------------------
// Which objects a plane reaches
// ---------------------------------------------------------------------------

TEST_F(SplitTest, PlaneQueuesOnlyObjectsReachingBehindIt) {
  const uint32_t behind = Add("behind", Vector(0.0f, 0.0f, -10.0f), Vector(1.0f, 1.0f, 1.0f), Box);
  const uint32_t across = Add("across", Vector(0.0f, 0.0f, 0.0f), Vector(1.0f, 0.0f, 0.0f), Sphere);
  const uint32_t ahead = Add("ahead", Vector(0.0f, 0.0f, 10.0f), Vector(1.0f, 1.0f, 1.0f), Box);
  (void)ahead;
  GameObject ground = BuildGroundPlane();
  ObjectManager::Instance().AddGameObject(ground);

  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(0.0f, 0.0f, 1.0f), Vector(0.0f, 0.0f, 0.0f)));
  std::vector<uint32_t> queued;
  for (const SplitJob& job : orchestrator.splitQueue) {
    queued.push_back(job.object);
    EXPECT_EQ(job.stage, 0);
  }
  std::sort(queued.begin(), queued.end());
  EXPECT_EQ(queued, (std::vector<uint32_t>{behind, across}));
  // One distance line per object, the ground excepted.
  EXPECT_EQ(CountLines("dist = "), 3);
}

TEST_F(SplitTest, ObjectWhollyBehindKeepsItsWholeMeshWithMassRecomputed) {
  const uint32_t box = Add("box", Vector(0.0f, 0.0f, -5.0f), Vector(1.0f, 1.0f, 1.0f), Box);
  const uint32_t triangles = MeshOf(box).TriangleCount();
  const double estimate = EstimateVolume(MeshOf(box));
  const float createdMass = MassOf(box);

  SplitOrchestrator orchestrator;
  int chops = 0;
  orchestrator.onChop = [&](const Vector&) { ++chops; };
  orchestrator.SliceObjects(Plane(Vector(0.0f, 0.0f, 1.0f), Vector(0.0f, 0.0f, 0.0f)));
  ASSERT_EQ(orchestrator.splitQueue.size(), 1u);
  orchestrator.ProcessSplitQueue(1.0e6);

  EXPECT_GE(FindLine("Kept back"), 0) << NewLog();
  EXPECT_EQ(FindLine("Split into front and back"), -1);
  EXPECT_EQ(ObjectManager::Instance().objects.size(), 1u);
  EXPECT_EQ(MeshOf(box).TriangleCount(), triangles);
  EXPECT_NEAR(MassOf(box), 10.0 * estimate, 1e-3 * MassOf(box));
  EXPECT_NE(MassOf(box), createdMass);
  EXPECT_EQ(chops, 0);
  EXPECT_TRUE(Drain("Physics").empty());
  EXPECT_EQ(CountLines("mass = "), 1);
}

TEST_F(SplitTest, SliverKeepsOnlyTheOtherHalf) {
  // The plane passes within the on-plane tolerance of one corner: the front
  // side gets that corner alone, no triangle, so only the back is kept.
  const uint32_t box = Add("box", Vector(0.0f, 0.0f, 0.0f), Vector(1.0f, 1.0f, 1.0f), Box);
  const uint32_t triangles = MeshOf(box).TriangleCount();
  const Vector n = Normalize(Vector(1.0f, 1.0f, 1.0f));
  const Vector corner(1.0f, 1.0f, 1.0f);

  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(n, corner - n * 0.005f));
  ASSERT_EQ(orchestrator.splitQueue.size(), 1u);
  orchestrator.ProcessSplitQueue(1.0e6);

  EXPECT_GE(FindLine("Kept back"), 0) << NewLog();
  EXPECT_EQ(ObjectManager::Instance().objects.size(), 1u);
  EXPECT_EQ(MeshOf(box).TriangleCount(), triangles);
  EXPECT_EQ(CountOpenEdges(MeshOf(box)), 0u);
}

TEST_F(SplitTest, PiecesLighterThanTheChipLimitAreNotKept) {
  // A cube 0.1 wide: each half's mass estimate is far below 0.1. The cut
  // object is killed and swept; the new piece is never added at all.
  const uint32_t chip = Add("chip", Vector(0.0f, 0.0f, 0.0f), Vector(0.05f, 0.05f, 0.05f), Box);
  const uint32_t counter = ObjectManager::Instance().objCounter;
  Drain("BROADCAST");

  SplitOrchestrator orchestrator;
  orchestrator.SliceObjects(Plane(Vector(1.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, 0.0f)));
  orchestrator.ProcessSplitQueue(1.0e6);

  ObjectManager& manager = ObjectManager::Instance();
  EXPECT_GE(FindLine("Split into front and back"), 0) << NewLog();
  EXPECT_EQ(manager.objCounter, counter);  // nothing was added
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
  const uint32_t box = Add("box", Vector(0.0f, 0.0f, 0.0f), Vector(1.0f, 1.0f, 1.0f), Box);
  const Vector position = Get(box).position;
  const float mass = MassOf(box);
  const uint32_t triangles = MeshOf(box).TriangleCount();
  Mesh empty;
  SplitOrchestrator orchestrator;
  const std::vector<uint32_t> pieces =
      orchestrator.SplitIntoFrontAndBack(box, false, false, empty, empty);
  EXPECT_TRUE(pieces.empty());
  EXPECT_GE(FindLine("Cannot divide object any farther!"), 0);
  EXPECT_EQ(Get(box).position, position);
  EXPECT_EQ(MassOf(box), mass);
  EXPECT_EQ(MeshOf(box).TriangleCount(), triangles);
}

// ---------------------------------------------------------------------------
// The queue
// ---------------------------------------------------------------------------

TEST_F(SplitTest, JobsRunInQueueOrderStageByStage) {
  std::vector<uint32_t> boxes;
  for (int i = 0; i < 4; ++i)
    boxes.push_back(Add("box" + std::to_string(i), Vector(6.0f * i, 0.0f, 0.0f),
                        Vector(1.0f, 1.0f, 1.0f), Box));
  SplitOrchestrator orchestrator;
  // Horizontal plane through all four boxes.
  orchestrator.SliceObjects(Plane(Vector(0.0f, 1.0f, 0.0f), Vector(0.0f, 0.2f, 0.0f)));
  ASSERT_EQ(orchestrator.splitQueue.size(), 4u);
  std::vector<uint32_t> order;
  for (const SplitJob& job : orchestrator.splitQueue) order.push_back(job.object);

  // No budget, no work.
  orchestrator.ProcessSplitQueue(0.0);
  EXPECT_EQ(orchestrator.splitQueue.size(), 4u);
  EXPECT_EQ(FindLine("Attempting split"), -1);

  // Stepping the front job: nothing in the scene changes before stage 3.
  SplitJob& first = orchestrator.splitQueue.front();
  const uint32_t triangles = MeshOf(first.object).TriangleCount();
  for (int stage = 0; stage < 3; ++stage) {
    EXPECT_EQ(first.stage, stage);
    orchestrator.StepSplitJob(first);
    EXPECT_EQ(MeshOf(first.object).TriangleCount(), triangles);
    EXPECT_EQ(ObjectManager::Instance().objects.size(), 4u);
  }
  EXPECT_TRUE(first.keepFront);
  EXPECT_TRUE(first.keepBack);

  // The rest runs in queue order: each new piece is numbered after the
  // piece of the job before it, and sits above the box it came from.
  orchestrator.ProcessSplitQueue(1.0e6);
  EXPECT_TRUE(orchestrator.splitQueue.empty());
  ObjectManager& manager = ObjectManager::Instance();
  ASSERT_EQ(manager.objects.size(), 8u);
  std::vector<std::pair<uint32_t, uint32_t>> pieceOf;  // (piece number, source box)
  for (auto& entry : manager.objects) {
    if (entry.second.name.rfind("split_obj_", 0) != 0) continue;
    const Vector p = entry.second.position;
    EXPECT_GT(p.y, 0.2f);
    const uint32_t source = boxes[static_cast<size_t>(std::lround(p.x / 6.0f))];
    pieceOf.emplace_back(entry.first, source);
  }
  std::sort(pieceOf.begin(), pieceOf.end());
  std::vector<uint32_t> sources;
  for (const auto& p : pieceOf) sources.push_back(p.second);
  EXPECT_EQ(sources, order);
  EXPECT_EQ(CountLines("Split into front and back"), 4);
}

TEST_F(SplitTest, JobsForRemovedObjectsEndQuietly) {
  const uint32_t box = Add("box", Vector(0.0f, 0.0f, 0.0f), Vector(1.0f, 1.0f, 1.0f), Box);
  SplitOrchestrator orchestrator;
  const Plane plane(Vector(1.0f, 0.0f, 0.0f), Vector(0.1f, 0.0f, 0.0f));

  // Removed before stage 0: the job ends there.
  orchestrator.SliceObjects(plane);
  // Removed between stage 2 and stage 3: stage 3 makes nothing.
  orchestrator.SliceObjects(plane);
  ASSERT_EQ(orchestrator.splitQueue.size(), 2u);
  SplitJob& late = orchestrator.splitQueue.back();
  for (int i = 0; i < 3; ++i) orchestrator.StepSplitJob(late);
  EXPECT_EQ(late.stage, 3);
  ClearScene();

  orchestrator.ProcessSplitQueue(1.0e6);
  EXPECT_TRUE(orchestrator.splitQueue.empty());
  EXPECT_TRUE(ObjectManager::Instance().objects.empty());
  EXPECT_EQ(FindLine("Split into front and back"), -1);
  EXPECT_TRUE(Drain("Physics").empty());
  (void)box;
}

// ---------------------------------------------------------------------------
// Mass properties
// ---------------------------------------------------------------------------

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
  EXPECT_FLOAT_EQ(inertia(0, 0), 4.0f);
  EXPECT_FLOAT_EQ(inertia(1, 1), 4.0f);
  EXPECT_FLOAT_EQ(inertia(2, 2), 4.0f);
  EXPECT_FLOAT_EQ(inertia(3, 3), 0.0f);
  EXPECT_FLOAT_EQ(inertia(0, 1), 0.0f);

  // A mesh without triangles has no volume and no inertia.
  EXPECT_EQ(EstimateVolume(Mesh()), 0.0);
  const Matrix4 none = ComputeInertia(Mesh(), 1.0f);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(none[i], 0.0f);

  // Scaling a mesh by s scales the estimate by s^3 and the inertia by s^2.
  Mesh box = BuildBox(2, 2, 2, 2.0f, 1.0f, 3.0f);
  Mesh bigger = box;
  bigger.Transform(Matrix4::Scale(2.0f, 2.0f, 2.0f));
  EXPECT_NEAR(EstimateVolume(bigger), 8.0 * EstimateVolume(box), 1e-4 * EstimateVolume(bigger));
  const Matrix4 small = ComputeInertia(box, 5.0f), large = ComputeInertia(bigger, 5.0f);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(large(i, i), 4.0f * small(i, i), 1e-3f * large(i, i));
  // Turning about the box's long axis (z) is easiest.
  EXPECT_LT(small(2, 2), small(0, 0));
}

TEST(SplitMassTest, HalvesWithTooFewVerticesOrTrianglesAreNotKept) {
  Mesh closed = BuildBox(1, 1, 1, 1.0f, 1.0f, 1.0f);
  Mesh flat;
  flat.AddVertex(Vertex(0.0f, 0.0f, 0.0f));
  flat.AddVertex(Vertex(1.0f, 0.0f, 0.0f));
  flat.AddVertex(Vertex(0.0f, 1.0f, 0.0f));
  flat.AddTriangle(0, 1, 2);
  bool keepFront = false, keepBack = false;
  FindDegenerate(closed, flat, keepFront, keepBack);
  EXPECT_TRUE(keepFront);
  EXPECT_FALSE(keepBack);
  FindDegenerate(flat, closed, keepFront, keepBack);
  EXPECT_FALSE(keepFront);
  EXPECT_TRUE(keepBack);
  FindDegenerate(Mesh(), Mesh(), keepFront, keepBack);
  EXPECT_FALSE(keepFront);
  EXPECT_FALSE(keepBack);
}
