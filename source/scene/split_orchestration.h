#pragma once
// Split orchestration: how a cutting plane becomes new solid objects.
//
// SliceObjects queues one SplitJob for every object whose bounding sphere is
// not wholly on the plane's front side. ProcessSplitQueue then advances the
// queue a stage at a time within a fixed budget per frame, so one large cut
// never stalls a frame for long:
//
//   stage 0  AttemptSplit           cut the mesh in object space
//   stage 1  RepairPieces           close both openings
//   stage 2  FindDegenerate         reject halves that are not proper solids
//   stage 3  SplitIntoFrontAndBack  make the result real (under the object lock)
//   stage 4  done; the job is removed
//
// The cut object keeps the back half; a new object "split_obj_<n>" receives
// the front half. A half that falls apart into several connected parts gives
// one object per part (see SplitIntoFrontAndBack). Every piece gets fresh
// corner normals and colours, is re-centred on its centre of mass, and gets
// mass, inertia and collision data from its mesh (GeneratePhysics); the new
// piece gets gravity through an "AddForce" event to "Physics". Every stage
// writes a timing line to the log.
//
// This is the GL- and audio-free core of the scene: the chop sound is played
// by the app through the onChop hook with the pieces' midpoint.
//
// Threads: main thread only. Stage 0 copies the object's mesh under the
// ObjectManager lock and cuts the copy without it. Stage 3 and SliceObjects
// hold the lock for their whole work on the stored objects (the new object
// is added after, since adding locks by itself), so the physics and
// collision workers never see a piece whose mesh, mass and collision data
// disagree. Stages 1 and 2 touch only the job's private meshes.
//
// GPU buffers: stage 3 queues the cut object's old buffers for release with
// the registry; the window side makes buffers for both new meshes.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "geom/mesh.h"
#include "geom/mesh_splitter.h"
#include "math/bounding_box.h"
#include "math/plane.h"

class GameObject;

// Time a frame may spend advancing split jobs, seconds. A stage that has
// started always runs to its end, so a frame can overrun by one stage.
constexpr double kSplitBudget = 0.033;

// One pending cut of one object. Held by value in the queue; its meshes and
// context are private to it until stage 3.
struct SplitJob {
  uint32_t object = 0;  // number of the object to cut
  Plane plane;          // the cutting plane, world space
  int32_t stage = 0;    // next stage to run, 0..4; 4 = finished
  BoundingBox bounds;   // the source mesh's box in object space (stage 0)
  Mesh front;           // the half the plane normal points to
  Mesh back;
  SplitContext context;  // splitter maps, cut sets and the two octrees
  bool keepFront = false;  // front half is a usable solid (stage 2)
  bool keepBack = false;   // back half is a usable solid (stage 2)
};

// Stage 0. Under the ObjectManager lock: finds the object (false when it is
// gone or its mesh has fewer than 3 vertices or no triangle) and copies its
// mesh and place. Then, without the lock: logs "Attempting split", brings
// the plane into object space, fills bounds and the context's two octree
// roots, and cuts the copy into front and back.
bool AttemptSplit(uint32_t object, const Plane& plane, BoundingBox& bounds, Mesh& front,
                  Mesh& back, SplitContext& context);

// Stage 1. Closes the opening of each half around its cut set.
void RepairPieces(SplitContext& context, Mesh& front, Mesh& back);

// Stage 2. A half is kept when it has at least 4 vertices and 4 triangles
// and is not degenerate (the back half is tested first).
void FindDegenerate(const Mesh& front, const Mesh& back, bool& keepFront, bool& keepBack);

// The solids of a kept half (SplitIntoSolids: connected parts, each cavity
// with the part around it, parts enclosing no volume left out), each with
// the half's loadedModel flag; parts too small to be a solid (fewer than 4
// vertices or triangles) are dropped. A half that is one solid is moved
// into the result unchanged.
std::vector<Mesh> SeparateParts(Mesh& half);

// Recomputes a piece from its mesh: moves the mesh origin to its centre of
// mass (and the object by the same world offset), sets mass (10 per unit
// volume, at least 0.01; logged as "mass = "), the full inertia tensor about
// the centre (ComputeMassProperties), bounding sphere, hull and local box.
// The caller holds the ObjectManager lock when g is stored there.
void GeneratePhysics(GameObject& g);

class SplitOrchestrator {
 public:
  // Called after a two-piece split with the midpoint of the two pieces'
  // positions, once the ObjectManager lock has been released.
  using ChopHook = std::function<void(const Vector& midpoint)>;

  // Queues a job for every object (the ground excepted) whose bounding
  // sphere reaches behind the plane; logs "dist = ..." per object.
  void SliceObjects(const Plane& plane);

  // Advances the front job stage by stage while less than `budget` seconds
  // have passed, dropping finished jobs in order.
  void ProcessSplitQueue(double budget = kSplitBudget);

  // Runs the job's current stage and sets its next stage.
  void StepSplitJob(SplitJob& job);

  // Stage 3: the four cases (both halves, front only, back only, neither).
  // Each kept half is split into its connected parts (SeparateParts); the
  // cut object keeps the first back part (the first front part without a
  // back), every other part becomes a new object "split_obj_<n>", back parts
  // before front parts. Returns the numbers of the objects now holding
  // pieces: the cut object first, then the new objects; empty when the
  // object is gone or neither half survived.
  std::vector<uint32_t> SplitIntoFrontAndBack(uint32_t object, bool keepFront, bool keepBack,
                                              Mesh& front, Mesh& back);

  std::deque<SplitJob> splitQueue;  // first in, first out
  ChopHook onChop;                  // may be empty (no sound)
  std::string sender = "GameLogic";  // sender of the gravity requests

 private:
  void SendGravity(uint32_t object) const;
};
