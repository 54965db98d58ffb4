#include "scene/split_orchestration.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "collision/collision_comp.h"
#include "collision/collision_manager.h"
#include "core/event.h"
#include "core/module.h"
#include "core/system.h"
#include "objects/game_object.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "physics/physics_comp.h"
#include "scene/solid_factory.h"

namespace {

// The ground box is never cut.
const char* const kGroundName = "GROUND_PLANE";

// Piece mass per unit of the volume estimate (mass units per length unit^3).
constexpr double kPieceDensity = 10.0;
// A piece is never given less mass than this (mass units).
constexpr float kMassFloor = 0.01f;
// Pieces lighter than this are chips: removed (or never added) at once.
constexpr float kChipMass = 0.1f;
// A half is a usable solid only with at least this many vertices and triangles.
constexpr uint32_t kMinPieceVertices = 4;
constexpr uint32_t kMinPieceTriangles = 4;

// Offset of the new piece's number in its name: "split_obj_" + (objCounter + 100).
constexpr uint32_t kSplitNameOffset = 100;

template <class T>
void LogValue(const std::string& label, const T& value) {
  std::ostringstream line;
  line << label << " = " << value;
  System::Instance().Log(line.str());
}

double Now() { return System::Instance().GetTime(); }

Mesh* MeshOf(GameObject& obj) {
  ModelComp* model = obj.FindComponent<ModelComp>("ModelComp");
  return model ? &model->mesh : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Stages
// ---------------------------------------------------------------------------

bool AttemptSplit(uint32_t object, const Plane& plane, BoundingBox& bounds, Mesh& front,
                  Mesh& back, SplitContext& context) {
  ObjectManager& manager = ObjectManager::Instance();
  manager.Lock();
  if (!manager.HasObject(object)) {
    manager.Unlock();
    return false;
  }
  GameObject& obj = manager.GetGameObject(object);
  const Mesh* mesh = MeshOf(obj);
  if (mesh == nullptr || mesh->VertexCount() < 3 || mesh->TriangleCount() == 0) {
    manager.Unlock();
    return false;
  }
  System::Instance().Log("Attempting split");
  front.useTexCoords = false;
  back.useTexCoords = false;

  // The object's rigid transform is x_world = R x_local + p; its inverse
  // (transposed rotation, rotated negated translation) brings the plane's
  // point into object space, and its rotation alone the plane's normal.
  Matrix4 toWorld = obj.orientation.ToMatrix();
  toWorld(0, 3) = obj.position.x;
  toWorld(1, 3) = obj.position.y;
  toWorld(2, 3) = obj.position.z;
  const Matrix4 toLocal = toWorld.RigidInverse();
  const Vector localPoint = WithW(toLocal * WithW(plane.point, 1.0f), 0.0f);
  const Vector localNormal = WithW(toLocal * WithW(plane.normal, 0.0f), 0.0f);
  const Plane localPlane(localNormal, localPoint);

  bounds = CollisionManager::ComputeBoundingBox(*mesh, 1.0f);
  context.frontOctree.Init(bounds);
  context.backOctree.Init(bounds);

  const double start = Now();
  SplitMesh(*mesh, localPlane, front, back, context);
  const double end = Now();
  LogValue("endSplit - startSplit", end - start);
  manager.Unlock();
  return true;
}

void RepairPieces(SplitContext& context, Mesh& front, Mesh& back) {
  const double start = Now();
  CloseCut(front, context.frontCutSet);
  CloseCut(back, context.backCutSet);
  const double end = Now();
  LogValue("endRepair - startRepair", end - start);
}

void FindDegenerate(const Mesh& front, const Mesh& back, bool& keepFront, bool& keepBack) {
  const double start = Now();
  const bool backBad = IsDegenerate(back);
  const bool frontBad = IsDegenerate(front);
  const double end = Now();
  LogValue("endFindDegenerate - startFindDegenerate", end - start);

  keepBack = back.VertexCount() >= kMinPieceVertices &&
             back.TriangleCount() >= kMinPieceTriangles && !backBad;
  keepFront = front.VertexCount() >= kMinPieceVertices &&
              front.TriangleCount() >= kMinPieceTriangles && !frontBad;
  if (frontBad) System::Instance().Log("Front mesh degenerate, deleting");
  if (backBad) System::Instance().Log("Back mesh degenerate, deleting");
}

double EstimateVolume(const Mesh& mesh) {
  double sum = 0.0;
  for (uint32_t t = 0; t < mesh.TriangleCount(); ++t) {
    const Vector p0 = mesh.CornerPosition(t, 0);
    const Vector p1 = mesh.CornerPosition(t, 1);
    const Vector p2 = mesh.CornerPosition(t, 2);
    const Vector doubledArea = Cross(p1 - p0, p2 - p0);
    const Vector centroid = (p0 + p1 + p2) / 3.0f;
    sum += (1.0 / 3.0) * static_cast<double>(Length(doubledArea)) *
           static_cast<double>(Length(WithW(centroid, 0.0f)));
  }
  return sum;
}

Matrix4 ComputeInertia(const Mesh& mesh, float mass) {
  Matrix4 inertia = Matrix4::Zero();
  const uint32_t count = mesh.TriangleCount();
  if (count == 0) return inertia;
  const float k = mass / (3.0f * static_cast<float>(count));
  for (uint32_t t = 0; t < count; ++t) {
    for (int c = 0; c < 3; ++c) {
      const Vector p = mesh.CornerPosition(t, c);
      inertia(0, 0) += k * (p.y * p.y + p.z * p.z);
      inertia(1, 1) += k * (p.x * p.x + p.z * p.z);
      inertia(2, 2) += k * (p.x * p.x + p.y * p.y);
    }
  }
  return inertia;
}

void GeneratePhysics(GameObject& g) {
  ModelComp* model = g.FindComponent<ModelComp>("ModelComp");
  if (model == nullptr) {
    CLEAVE_WARNING("GeneratePhysics: no model on " + g.name);
    return;
  }
  Mesh& mesh = model->mesh;
  const float scale = model->scale;

  double mass = static_cast<double>(scale) * EstimateVolume(mesh) * kPieceDensity;
  LogValue("mass", mass);
  const float m = std::max(static_cast<float>(mass), kMassFloor);

  // Re-centre the mesh on its centroid. The object moves by the same offset
  // seen in world space (the orientation applied to it), so every vertex
  // stays where it was in the world.
  const Vector c = WithW(mesh.Centroid(), 0.0f);
  for (Vertex& v : mesh.vertices) {
    v.x -= c.x;
    v.y -= c.y;
    v.z -= c.z;
  }
  g.position = g.position + g.orientation.Rotate(c * scale);

  const Matrix4 inertia = ComputeInertia(mesh, m);
  if (PhysicsComp* physics = g.FindComponent<PhysicsComp>("PhysicsComp")) {
    physics->mass = m;
    physics->inertiaTensor = inertia;
  }
  CollisionComp* collision = g.FindComponent<CollisionComp>("CollisionComp");
  if (collision != nullptr) {
    collision->edgeDirections.clear();
    collision->faceNormals.clear();
    collision->hullVertices.clear();
  }
  CollisionManager& collisionManager = CollisionManager::Instance();
  collisionManager.GenerateBoundingSphere(g);
  collisionManager.GenerateCollisionHull(g);
  if (collision != nullptr) {
    collision->localBox = CollisionManager::ComputeBoundingBox(mesh, scale);
    collision->hasLocalBox = true;
  }
}

// ---------------------------------------------------------------------------
// The queue
// ---------------------------------------------------------------------------

void SplitOrchestrator::SliceObjects(const Plane& plane) {
  ObjectManager& manager = ObjectManager::Instance();
  manager.Lock();
  for (auto& entry : manager.objects) {
    GameObject& obj = entry.second;
    if (obj.name == kGroundName) continue;
    const CollisionComp* collision = obj.FindComponent<CollisionComp>("CollisionComp");
    if (collision == nullptr) continue;
    // World centre of the bounding sphere; the sphere reaches behind the
    // plane when its centre's distance is less than its radius.
    const Vector center = obj.orientation.Rotate(collision->boundingCenter) + obj.position;
    const float dist = Dot3(center - plane.point, plane.normal) - collision->boundingRadius;
    LogValue("dist", dist);
    if (dist < 0.0f) {
      SplitJob job;
      job.object = entry.first;
      job.plane = plane;
      job.stage = 0;
      splitQueue.push_back(std::move(job));
    }
  }
  manager.Unlock();
}

void SplitOrchestrator::ProcessSplitQueue(double budget) {
  const double start = Now();
  while (Now() - start < budget && !splitQueue.empty()) {
    StepSplitJob(splitQueue.front());
    splitQueue.erase(std::remove_if(splitQueue.begin(), splitQueue.end(),
                                    [](const SplitJob& job) { return job.stage == 4; }),
                     splitQueue.end());
  }
}

void SplitOrchestrator::StepSplitJob(SplitJob& job) {
  switch (job.stage) {
    case 0:
      job.stage = AttemptSplit(job.object, job.plane, job.bounds, job.front, job.back, job.context)
                      ? 1
                      : 4;
      break;
    case 1:
      RepairPieces(job.context, job.front, job.back);
      job.stage = 2;
      break;
    case 2:
      FindDegenerate(job.front, job.back, job.keepFront, job.keepBack);
      job.stage = 3;
      break;
    case 3:
      SplitIntoFrontAndBack(job.object, job.keepFront, job.keepBack, job.front, job.back);
      job.stage = 4;
      break;
    default:
      job.stage = 4;
      break;
  }
}

void SplitOrchestrator::SendGravity(uint32_t object) const {
  module_events::Post(GravityRequest(sender, object));
}

std::vector<uint32_t> SplitOrchestrator::SplitIntoFrontAndBack(uint32_t object, bool keepFront,
                                                               bool keepBack, Mesh& front,
                                                               Mesh& back) {
  std::vector<uint32_t> pieces;
  ObjectManager& manager = ObjectManager::Instance();
  System& system = System::Instance();
  manager.Lock();
  if (!manager.HasObject(object)) {
    manager.Unlock();
    return pieces;
  }
  GameObject& orig = manager.GetGameObject(object);
  orig.age = 0;
  ModelComp* origModel = orig.FindComponent<ModelComp>("ModelComp");
  if (origModel == nullptr) {  // AttemptSplit found a mesh; only a swap could remove it
    manager.Unlock();
    return pieces;
  }

  double attributesStart = 0.0, attributesEnd = 0.0;
  double physicsStart = 0.0, physicsEnd = 0.0;

  if (keepFront && keepBack) {
    system.Log("Split into front and back");

    GameObject piece;
    piece.name = "split_obj_" + std::to_string(manager.objCounter + kSplitNameOffset);
    ModelComp pieceModel;
    pieceModel.scale = origModel->scale;
    piece.AttachComponent(pieceModel);
    piece.AttachComponent(PhysicsComp());
    CollisionComp pieceCollision;
    if (const CollisionComp* origCollision = orig.FindComponent<CollisionComp>("CollisionComp")) {
      pieceCollision.groupMask = origCollision->groupMask;
      pieceCollision.collideMask = origCollision->collideMask;
    }
    piece.AttachComponent(pieceCollision);
    piece.position = orig.position;
    piece.orientation = orig.orientation;

    attributesStart = Now();
    GenerateNormals(back);
    GenerateNormals(front);
    GenerateColours(front);
    GenerateColours(back);
    attributesEnd = Now();

    origModel->mesh = back;
    piece.FindComponent<ModelComp>("ModelComp")->mesh = front;

    physicsStart = Now();
    GeneratePhysics(orig);
    const PhysicsComp* origPhysics = orig.FindComponent<PhysicsComp>("PhysicsComp");
    if (origPhysics != nullptr && origPhysics->mass < kChipMass) manager.KillGameObject(orig);
    GeneratePhysics(piece);
    // A chip lighter than the limit is never added: adding a killed object
    // would store a live copy (copies start alive) that nothing removes.
    const bool addPiece = piece.FindComponent<PhysicsComp>("PhysicsComp")->mass >= kChipMass;
    physicsEnd = Now();

    const Vector midpoint = (orig.position + piece.position) * 0.5f;
    pieces.push_back(object);
    manager.Unlock();

    uint32_t pieceNumber = 0;
    if (addPiece) pieceNumber = manager.AddGameObject(piece);

    manager.Lock();
    if (pieceNumber != 0) {
      pieces.push_back(pieceNumber);
      SendGravity(pieceNumber);
    }
    LogValue("generateAttributesEnd - generateAttributesBegin", attributesEnd - attributesStart);
    LogValue("generatePhysicsEnd - generatePhysicsBegin", physicsEnd - physicsStart);
    manager.Unlock();

    // Played after the lock is released: the sound code may read the scene.
    if (onChop) onChop(midpoint);
    return pieces;
  }

  if (keepFront || keepBack) {
    Mesh& kept = keepFront ? front : back;
    system.Log(keepFront ? "Kept front" : "Kept back");
    attributesStart = Now();
    GenerateNormals(kept);
    GenerateColours(kept);
    attributesEnd = Now();
    pieces.push_back(object);
    origModel->mesh = kept;

    physicsStart = Now();
    GeneratePhysics(orig);
    const PhysicsComp* origPhysics = orig.FindComponent<PhysicsComp>("PhysicsComp");
    if (origPhysics != nullptr && origPhysics->mass < kChipMass) manager.KillGameObject(orig);
    physicsEnd = Now();
    LogValue("generateAttributesEnd - generateAttributesBegin", attributesEnd - attributesStart);
    LogValue("generatePhysicsEnd - generatePhysicsBegin", physicsEnd - physicsStart);
  } else {
    system.Log("Cannot divide object any farther!");
  }
  manager.Unlock();
  return pieces;
}
