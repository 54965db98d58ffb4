#pragma once
// The scene as it starts, defined once for the game and the headless scene:
// the three start objects, the densities of start and shot solids, and the
// gravity every solid gets. (The ground box is built by BuildGroundPlane.)

#include "math/vector.h"
#include "scene/model_type.h"

// World height of the ground box's top face (BuildGroundPlane).
constexpr float kGroundTop = 0.0f;
// An object whose position falls this far below the ground top has left the
// ground for good (off its edge, or through it) and is removed.
constexpr float kFallDepth = 50.0f;

// Gravity given to every solid of the scene, units/s^2.
constexpr float kSceneGravity = 10.0f;
// Mass per unit volume of the start objects and of the objects shot with
// Space.
constexpr float kStartDensity = 10.0f;
constexpr float kShotDensity = 3.0f;

// One start object. Dimensions as BuildSolid reads them: sphere x = radius;
// box x, y, z = half extents; cone x = base radius, y = half height.
struct StartObject {
  const char* name;
  ModelType type;
  Vector position;
  Vector dimensions;
};

// A loaded model is scaled so its bounding box's longest side is this
// (units; the sphere's diameter, the cone's height) and dropped here, onto
// the box "obj7": from the start camera every place on the ground beside the
// start objects lies behind one of them.
constexpr float kModelSize = 4.0f;
inline const Vector kModelStartPosition(-7.0f, 5.0f, 2.0f);
constexpr const char* kModelObjectName = "model";

// Built in this order, unrotated, at kStartDensity, each with gravity.
inline const StartObject kStartObjects[] = {
    {"obj3", Cone, Vector(-2.0f, 4.0f, 4.0f), Vector(1.5f, 2.0f, 0.0f)},
    {"obj4", Sphere, Vector(-1.0f, 3.0f, -2.0f), Vector(2.0f, 0.0f, 0.0f)},
    {"obj7", Box, Vector(-7.0f, 4.0f, 2.0f), Vector(1.75f, 1.0f, 1.75f)},
};
