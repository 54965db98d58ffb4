#pragma once
// PickDrag: Shift + left button holds the nearest object in front of the eye
// under the cursor and drags it in the plane facing the camera through the
// point held. The collision thread answers the pick ray this class hands it
// every frame; a press tries to pick once, from the answers of the frame it
// went down.

#include "collision/pick.h"
#include "math/plane.h"
#include "math/vector.h"

class Camera;

class PickDrag {
 public:
  // Dragging by velocity: v += (-damping v + stiffness (target - x)) dt, with
  // damping in 1/s and stiffness in 1/s^2.
  static constexpr float kDragDamping = 10.0f;
  static constexpr float kDragStiffness = 100.0f;

  // One frame: `held` tells whether the pick button is held; mouse is the
  // cursor (normalised device coordinates), dt the frame time in seconds.
  // Picks or drags, then hands the collision thread the new ray.
  void Update(bool held, const Camera& camera, const Vector& mouse, float dt);

  bool picking = false;         // an object is held
  bool dragByVelocity = false;  // steer the held body through its velocity
  bool tried = false;           // a pick was attempted during this press
  Vector dragPlaneNormal;       // faces the camera; set every frame
  Plane dragPlane;              // through the held hit point
  PickResult hit;               // object id, ray parameter, hit point, position at pick time
  PickRay ray;                  // the current ray from the eye through the cursor
};
