#pragma once
// Scene snapshots: the whole scene in one binary glTF 2.0 file (.glb), which
// model viewers and glTF tools open, and which the sandbox reads back into
// the very state it was saved from.
//
// Layout. One node per game object, in ascending object number, named after
// the object (names are unique), with its position as "translation", its orientation as
// "rotation" (x, y, z, w) and its model scale as "scale". An object with a
// mesh has a mesh of one indexed triangle primitive: POSITION (float VEC3,
// the mesh's vertices in object space) and indices (unsigned int), both in
// the file's one binary chunk. The node's "extras" hold what glTF has no
// place for:
//   "number", "age"              the object number, frames since it was made or cut
//   "ground"                     true for the ground box (rebuilt on load)
//   "loadedModel", "meshName"    the mesh's flags (shading follows from them)
//   "groupMask", "collideMask"   the collision pair filter
//   "mass", "inertia"            mass and the body-frame inertia tensor about
//                                the centre of mass, 9 numbers row by row
//   "velocity", "angularVelocity", "sleeping"
// The centre of mass is the object's origin (every solid's mesh is centred
// on it), so the translation is the centre of mass. Every number is a float
// written with 9 significant digits, which reads back to the same bits, so
// saving a loaded scene gives the same file again. The scene's "extras" hold
// "objectCounter", the last object number given out: shots and pieces are
// numbered and named after it.
//
// Corner normals and colours are not stored: they follow from the vertices
// and the loadedModel flag (GenerateNormals, GenerateColours), as they did
// when the mesh was made. Collision data (bounding sphere, hull, box) is
// computed again from the mesh on load.

#include <cstdint>
#include <string>
#include <vector>

#include "geom/mesh.h"
#include "math/quaternion.h"
#include "math/vector.h"
#include "objects/object_manager.h"
#include "physics/physics_comp.h"

// The file the bar's "Save scene" and "Load scene" buttons use, in the
// working folder.
constexpr const char* kDefaultSnapshotFile = "cleave_scene.glb";

// One game object as a snapshot holds it.
struct SnapshotObject {
  std::string name;
  uint32_t number = 0;
  int32_t age = 0;
  Vector position;
  Quaternion orientation;
  bool ground = false;
  bool hasModel = false;
  float scale = 1.0f;
  Mesh mesh;  // vertices and triangle indices; shading is regenerated
  bool hasBody = false;
  PhysicsComp body;
  uint32_t groupMask = 0, collideMask = 0;
};

// Every live object of the table, in ascending number. Call with the
// ObjectManager lock held.
std::vector<SnapshotObject> CaptureScene(const ObjectManager::ObjectTable& objects);

// The .glb file's bytes for the objects and the ObjectManager's counter.
std::string EncodeSnapshot(const std::vector<SnapshotObject>& objects, uint32_t counter);

// Reads a .glb file's bytes. On failure returns false with `error` saying
// what is wrong (one line) and leaves `objects` in an unspecified state.
bool DecodeSnapshot(const std::string& bytes, std::vector<SnapshotObject>& objects,
                    uint32_t& counter, std::string& error);

// Every object but the ground is removed and the snapshot's objects (the
// ground excepted: the scene has its own) are added with their state, their
// shading and collision data, and scene gravity requested from `sender`.
// A restored object keeps its saved number when the ObjectManager has not
// given out that number or a later one (a scene loaded at start-up), and gets
// the next number otherwise; the counter then moves on to at least
// `counter`, so later shots and pieces are numbered and named as they were
// in the saved session. Returns the new numbers. Main thread; takes
// the ObjectManager lock itself.
std::vector<uint32_t> RestoreScene(const std::vector<SnapshotObject>& objects, uint32_t counter,
                                   const std::string& sender);

// CaptureScene of the ObjectManager and EncodeSnapshot into `path`, written
// whole or not at all (a temporary file beside it, then renamed).
bool SaveSnapshotFile(const std::string& path, std::string& error);

// Reads and decodes `path`, then RestoreScene. A file that cannot be read or
// decoded changes nothing.
bool LoadSnapshotFile(const std::string& path, const std::string& sender, std::string& error);

// The bar's "Save scene" (save) and "Load scene" buttons: kDefaultSnapshotFile
// in the working folder. Logs the file's full path, or warns why it failed
// (a failed load leaves the scene as it was).
void SnapshotButton(bool save, const std::string& sender);
