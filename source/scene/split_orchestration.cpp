#include "scene/split_orchestration.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "collision/collision_comp.h"
#include "collision/collision_shapes.h"
#include "core/event.h"
#include "core/module.h"
#include "core/system.h"
#include "geom/connected_parts.h"
#include "geom/shell_nesting.h"
#include "geom/mass_properties.h"
#include "math/matrix4.h"
#include "objects/game_object.h"
#include "objects/model_comp.h"
#include "objects/object_manager.h"
#include "physics/ground_plane.h"
#include "physics/physics_comp.h"
#include "scene/solid_factory.h"

namespace {

// Piece mass per unit volume (mass units per length unit^3).
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
  ModelComp* model = obj.Find<ModelComp>();
  return model ? &model->mesh : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Stages
// ---------------------------------------------------------------------------

bool AttemptSplit(uint32_t object, const Plane& plane, BoundingBox& bounds, Mesh& front,
                  Mesh& back, SplitContext& context) {
  // The mesh and the object's place are copied under the lock and the cut
  // runs on the copy without it, so a long cut never holds up the physics
  // and collision workers.
  Mesh source;
  Vector position;
  Quaternion orientation;
  {
    ObjectLock lock;
    ObjectManager& manager = ObjectManager::Instance();
    if (!manager.HasObject(object)) return false;
    GameObject& obj = manager.GetGameObject(object);
    const Mesh* mesh = MeshOf(obj);
    if (mesh == nullptr || mesh->VertexCount() < 3 || mesh->TriangleCount() == 0) return false;
    source = *mesh;
    position = obj.position;
    orientation = obj.orientation;
  }
  System::Instance().Log("Attempting split");
  front.useTexCoords = false;
  back.useTexCoords = false;
  front.loadedModel = source.loadedModel;  // flat shading and hull kind go to the pieces
  back.loadedModel = source.loadedModel;

  // The object's rigid transform is x_world = R x_local + p; its inverse
  // (transposed rotation, rotated negated translation) brings the plane's
  // point into object space, and its rotation alone the plane's normal.
  Matrix4 toWorld = orientation.ToMatrix();
  toWorld(0, 3) = position.x;
  toWorld(1, 3) = position.y;
  toWorld(2, 3) = position.z;
  const Matrix4 toLocal = toWorld.RigidInverse();
  const Vector localPoint = WithW(toLocal * WithW(plane.point, 1.0f), 0.0f);
  const Vector localNormal = WithW(toLocal * WithW(plane.normal, 0.0f), 0.0f);
  const Plane localPlane(localNormal, localPoint);

  bounds = ComputeBoundingBox(source, 1.0f);
  context.frontOctree.Init(bounds);
  context.backOctree.Init(bounds);

  const double start = Now();
  SplitMesh(source, localPlane, front, back, context, OnPlaneTolerance(source));
  const double end = Now();
  LogValue("endSplit - startSplit", end - start);
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

void GeneratePhysics(GameObject& g) {
  ModelComp* model = g.Find<ModelComp>();
  if (model == nullptr) {
    CLEAVE_WARNING("GeneratePhysics: no model on " + g.name);
    return;
  }
  Mesh& mesh = model->mesh;
  const float scale = model->scale;

  // The mesh's own mass properties; the model's uniform scale s makes the
  // mass s^3 and the inertia s^5 times those of the unscaled mesh.
  const MassProperties props = ComputeMassProperties(mesh, kPieceDensity);
  const double s = scale;
  const double mass = props.mass * s * s * s;
  LogValue("mass", mass);
  // A piece without volume (mass 0 or less, or NaN) gets the floor, and is
  // a chip.
  const float m = mass > kMassFloor ? static_cast<float>(mass) : kMassFloor;

  // Re-centre the mesh on its centre of mass. The object moves by the same
  // offset seen in world space (the orientation applied to it), so every
  // vertex stays where it was in the world.
  const Vector c = props.Centre();
  for (Vertex& v : mesh.vertices) {
    v.x -= c.x;
    v.y -= c.y;
    v.z -= c.z;
  }
  g.position = g.position + g.orientation.Rotate(c * scale);

  if (PhysicsComp* physics = g.Find<PhysicsComp>()) {
    physics->mass = m;
    // The tensor per unit mass, scaled, times the mass given (which differs
    // from the mesh's only where the floor applies).
    physics->inertiaTensor = props.InertiaMatrix(mass > 0.0 ? m * s * s / props.mass : 0.0);
    physics->sleeping = false;  // a cut piece wakes, and with it what it rested on
  }
  CollisionComp* collision = g.Find<CollisionComp>();
  if (collision != nullptr) {
    collision->edgeDirections.clear();
    collision->faceNormals.clear();
    collision->hullVertices.clear();
  }
  GenerateBoundingSphere(g);
  GenerateCollisionHull(g);
  if (collision != nullptr) {
    collision->localBox = ComputeBoundingBox(mesh, scale);
    collision->hasLocalBox = true;
  }
}

// ---------------------------------------------------------------------------
// The queue
// ---------------------------------------------------------------------------

void SplitOrchestrator::SliceObjects(const Plane& plane) {
  ObjectLock lock;
  for (auto& entry : ObjectManager::Instance().objects) {
    GameObject& obj = entry.second;
    if (obj.name == kGroundPlaneName) continue;  // the ground is never cut
    const CollisionComp* collision = obj.Find<CollisionComp>();
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

std::vector<Mesh> SeparateParts(Mesh& half) {
  std::vector<Mesh> parts;
  std::vector<Mesh> found = SplitIntoConnectedParts(half);
  if (found.size() <= 1) {
    // One part (the usual case), a solid by the degeneracy check: keep the
    // half itself, unused vertices and all, instead of a renumbered copy.
    parts.push_back(std::move(half));
    return parts;
  }
  found = GroupShells(std::move(found));
  if (found.size() > 1)
    System::Instance().Log("Half falls apart into " + std::to_string(found.size()) + " parts");
  for (Mesh& part : found) {
    if (part.VertexCount() < kMinPieceVertices || part.TriangleCount() < kMinPieceTriangles)
      continue;  // a sliver, not a solid
    part.loadedModel = half.loadedModel;
    parts.push_back(std::move(part));
  }
  return parts;
}

std::vector<uint32_t> SplitOrchestrator::SplitIntoFrontAndBack(uint32_t object, bool keepFront,
                                                               bool keepBack, Mesh& front,
                                                               Mesh& back) {
  std::vector<uint32_t> pieces;
  ObjectManager& manager = ObjectManager::Instance();
  System& system = System::Instance();

  // Everything that touches the stored object happens in this scope; the
  // new pieces are built here and added after it, since adding takes the lock.
  std::vector<GameObject> added;
  Vector midpoint;
  bool twoSides = false;
  double attributesTime = 0.0, physicsTime = 0.0;
  {
    ObjectLock lock;
    if (!manager.HasObject(object)) return pieces;
    GameObject& orig = manager.GetGameObject(object);
    orig.age = 0;
    ModelComp* origModel = orig.Find<ModelComp>();
    // AttemptSplit found a mesh; only a swap could have removed it.
    if (origModel == nullptr) return pieces;
    if (!keepFront && !keepBack) {
      system.Log("Cannot divide object any farther!");
      return pieces;
    }
    system.Log(keepFront && keepBack ? "Split into front and back"
                                     : (keepFront ? "Kept front" : "Kept back"));

    const double attributesStart = Now();
    if (keepBack) GenerateNormals(back);
    if (keepFront) GenerateNormals(front);
    if (keepFront) GenerateColours(front);
    if (keepBack) GenerateColours(back);
    attributesTime = Now() - attributesStart;

    // A half that falls apart (a ring cut across, a handle cut off) goes on
    // as one body per connected part. The cut object keeps the first back
    // part (the first front part when the back is gone); every other part
    // becomes a new object.
    std::vector<Mesh> parts;
    size_t frontStart = 0;  // index of the first front part
    if (keepBack) parts = SeparateParts(back);
    frontStart = parts.size();
    if (keepFront)
      for (Mesh& part : SeparateParts(front)) parts.push_back(std::move(part));
    if (parts.empty()) {
      system.Log("Cannot divide object any farther!");
      return pieces;
    }

    const CollisionComp* origCollision = orig.Find<CollisionComp>();
    for (size_t k = 1; k < parts.size(); ++k) {
      GameObject piece;
      ModelComp pieceModel;
      pieceModel.scale = origModel->scale;
      piece.AttachComponent(pieceModel);
      piece.AttachComponent(PhysicsComp());
      CollisionComp pieceCollision;
      if (origCollision != nullptr) {
        pieceCollision.groupMask = origCollision->groupMask;
        pieceCollision.collideMask = origCollision->collideMask;
      }
      piece.AttachComponent(pieceCollision);
      piece.position = orig.position;
      piece.orientation = orig.orientation;
      piece.Find<ModelComp>()->mesh = std::move(parts[k]);
      added.push_back(std::move(piece));
    }

    // The old mesh's GPU buffers go with it; the window side gives the new
    // meshes (this one and the pieces') buffers of their own.
    manager.ReleaseMeshBuffers(origModel->mesh);
    origModel->mesh = std::move(parts[0]);

    const double physicsStart = Now();
    GeneratePhysics(orig);
    const PhysicsComp* origPhysics = orig.Find<PhysicsComp>();
    if (origPhysics != nullptr && origPhysics->mass < kChipMass) manager.KillGameObject(orig);
    for (GameObject& piece : added) GeneratePhysics(piece);
    twoSides = keepFront && keepBack && frontStart > 0 && frontStart < parts.size();
    if (twoSides) midpoint = (orig.position + added[frontStart - 1].position) * 0.5f;
    physicsTime = Now() - physicsStart;
    pieces.push_back(object);
  }

  for (GameObject& piece : added) {
    // A chip lighter than the limit is never added: adding a killed object
    // would store a live copy (copies start alive) that nothing removes.
    if (piece.Find<PhysicsComp>()->mass < kChipMass) continue;
    {
      ObjectLock lock;
      piece.name = "split_obj_" + std::to_string(manager.objCounter + kSplitNameOffset);
    }
    const uint32_t pieceNumber = manager.AddGameObject(piece);
    if (pieceNumber != 0) {
      pieces.push_back(pieceNumber);
      SendGravity(pieceNumber);
      System::Instance().frameStats.AddPieces(1);
    }
  }
  LogValue("generateAttributesEnd - generateAttributesBegin", attributesTime);
  LogValue("generatePhysicsEnd - generatePhysicsBegin", physicsTime);
  // Played once the lock is released: the sound code may read the scene.
  if (twoSides && onChop) onChop(midpoint);
  return pieces;
}
