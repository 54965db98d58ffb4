#pragma once
// The GL-free half of putting a solid into the scene: builds the complete
// game object (mesh, shading data, mass and inertia, collision data) but does
// not create GPU buffers and does not add it to the ObjectManager. The scene
// adds the buffers and the object; tests and benchmarks add the object alone.

#include <cstdint>
#include <string>

#include "core/event.h"
#include "geom/mesh.h"
#include "math/quaternion.h"
#include "math/vector.h"
#include "objects/game_object.h"
#include "scene/model_type.h"
#include "scene/scene_setup.h"

// The request that gives object `number` its gravity: an "AddForce" event to
// "Physics" of type "GravityForce" with "obj" and "g", from `sender`, stamped
// with the current frame's start time. The caller posts it.
Event GravityRequest(const std::string& sender, uint32_t number, float g = kSceneGravity);

// A uniform draw from rand() in [0, 1]. Divides by this platform's RAND_MAX
// (2^31 - 1 with glibc): dividing by 32767, the largest value of some other C
// libraries, would give draws far outside [0, 1].
float UniformDraw();

// A solid named `name` whose shape is centred on `position`. dimensions:
// sphere x = radius; box x, y, z = half extents; cone x = base radius, y =
// half height (the cone stands on its base, from y - half height to its apex
// at y + half height). modelType Random picks Sphere, Box or Cone with
// rand() and draws new dimensions, each in [0.5, 2.0] (the radius of a
// sphere or a cone stays the caller's x); so does Model, which
// BuildModelSolid builds from a loaded mesh, with a log line saying that
// there is none. The mesh is turned by
// `orientation` (the object's own orientation stays the identity).
//
// Mass, centre of mass and inertia are the mesh's own (ComputeMassProperties
// at `density`, mass per unit volume). The mesh origin is its centre of
// mass, and the object's position is `position` plus the centre's offset in
// the turned mesh: none (to rounding) for the sphere and the box; for the
// cone a quarter of its height below the middle (towards the base), turned
// by `orientation`.
GameObject BuildSolid(const std::string& name, const Vector& position, Vector dimensions,
                      int modelType, const Quaternion& orientation, float density);

// A solid made from a loaded model mesh (see LoadModelFile): the mesh
// centred and scaled so its bounding box's longest side is `size`, turned by
// `orientation`, with its origin moved to its centre of mass (the object
// sits that far from `position`); flat normals, mass and inertia of the
// mesh at `density`.
GameObject BuildModelSolid(const std::string& name, const Vector& position, const Mesh& model,
                           float size, const Quaternion& orientation, float density);

// kGroundPlaneName: a 300 x 10 x 300 box at (0, -5, 0), top face at y = 0,
// mass 1e9, not pickable.
GameObject BuildGroundPlane();

// Every corner normal := the unit vector of its vertex position.
void GenerateNormals(Mesh& mesh);
// Every corner colour := (0.2, 0.5, 0.9).
void GenerateColours(Mesh& mesh);
