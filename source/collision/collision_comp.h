#pragma once
// CollisionComp: the collision shape and state of a game object.
//
// The bounding sphere feeds the broad phase and picking; the hull (distinct
// edge directions, face normals and vertices pushed out by a small margin)
// feeds the separating-axis test. Everything is kept in the object's local
// frame, already multiplied by the model scale, so the collision code only
// has to apply the object's position and orientation.

#include <cstdint>
#include <vector>

#include "math/bounding_box.h"
#include "math/quaternion.h"
#include "math/vector.h"
#include "objects/component.h"

// A box with its own orientation. Carried with the component and copied, but
// no collision code reads it.
struct OrientedBox {
  Quaternion orientation;  // identity
  Vector center;
  Vector halfExtents;
};

class CollisionComp : public Component {
 public:
  // The name it is attached and stored under (scene dumps and logs show it).
  static constexpr const char* kName = "CollisionComp";

  CollisionComp() : Component(kName) {}

  Component* Clone() const override;

  bool hasBoundingSphere = false;  // set when the sphere below was generated
  Vector boundingCenter;           // local frame, scaled
  float boundingRadius = 0.0f;     // scaled; includes the hull margin once the hull exists

  bool hasHull = false;                // set when the three arrays below were generated
  std::vector<Vector> edgeDirections;  // distinct unit edge directions, local frame
  std::vector<Vector> faceNormals;     // distinct unit face normals, local frame
  std::vector<Vector> hullVertices;    // distinct scaled vertices pushed out by the margin

  bool hasOrientedBox = false;  // read by nothing
  OrientedBox orientedBox;      // read by nothing

  bool hasLocalBox = false;  // set by gameplay when localBox is filled
  BoundingBox localBox;      // local bounding box; keys the contact feature codes

  bool pickable = true;      // takes part in mouse picking
  // Set by Physics while the object cannot move: the ground, and sleeping
  // bodies. The narrow phase skips a pair whose objects both rest, since
  // their contact could change nothing.
  bool resting = false;
  uint32_t groupMask = 0;    // pair filter: a pair is tested when one's group meets
  uint32_t collideMask = 0;  // the other's collide mask
};
