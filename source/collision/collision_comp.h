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

#include "collision/hull_cloud.h"
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
  // Per face normal, the least and the greatest projection of the hull
  // vertices on it (two entries a normal): the narrow phase reads a hull's
  // interval on its own normals here instead of projecting every vertex.
  std::vector<float> faceExtents;
  // hullVertices as a padded cloud, for the narrow phase's vector loops;
  // made by the hull generator and used while its count matches.
  HullCloud hullCloud;
  // The radius of a ball about boundingCenter inside the hull (0 when not
  // known): along any unit axis the hull covers the centre's projection -+
  // this, which lets the narrow phase pass over axes without projecting.
  float innerRadius = 0.0f;

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

  // How the object moves, kept up to date by Physics at every write-back
  // (zero for an object without a body). The collision layer cannot see the
  // bodies; it reads these to find pairs that may meet before the next
  // collision frame (SpeculativeReach). The two speeds sit next to the
  // masks, which the broad phase reads with them for every object.
  float speed = 0.0f;         // |linearVelocity|
  float angularSpeed = 0.0f;  // |angular velocity|, rad/s
  Vector linearVelocity;      // units/s, world frame, w = 0
  void SetMotion(const Vector& linear, const Vector& angular);
};

// Speculative contacts. A fast body moves further in a step than its own
// size, so waiting for its hull to overlap another's would let it pass
// through thin objects and the ground. Instead a pair is reported as soon as
// its hulls are closer than the distance the two may close before the
// physics sees the next collision frame; the physics then lets them close
// that gap and no more.
//
// The physics steps with the contacts of the previous collision frame (the
// two threads run side by side, a frame apart), so a contact must hold for
// as far as the bodies move in two steps of 1/60 s.
constexpr float kSpeculativeTime = 2.0f / 60.0f;
// Added to every pair's reach (units): what gravity (10 units/s^2) adds to
// the closing over those two steps, 3 g dt^2 = 0.008, rounded up.
constexpr float kSpeculativeSlack = 0.01f;
// The most that one object's motion adds to a reach (units), so a runaway
// velocity cannot make one object a candidate of everything around it. It
// covers bodies up to 150 units/s.
constexpr float kMaxMotionReach = 5.0f;

// How far any point of the object's hull may move in kSpeculativeTime:
// (|v| + angular speed * the distance of its bounding sphere's far side from
// the origin) * kSpeculativeTime, at most kMaxMotionReach; 0 when that is
// not a number. The broad phase asks for it per object and per candidate,
// so an object lying still (most of a scene's) answers at once.
float MovingReach(const CollisionComp& comp);
inline float MotionReach(const CollisionComp& comp) {
  // Both speeds are >= 0 (or not a number, which has no reach either).
  return comp.speed + comp.angularSpeed > 0.0f ? MovingReach(comp) : 0.0f;
}

// How close two hulls must come to be reported: the same bound for the
// relative motion, |vA - vB| for the translation, plus both turns, never
// more than the two motion reaches together, plus kSpeculativeSlack. Never
// more than MotionReach(a) + MotionReach(b) + kSpeculativeSlack, which the
// broad phase grows the spheres by.
float SpeculativeReach(const CollisionComp& a, const CollisionComp& b);
