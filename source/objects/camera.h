#pragma once
// Camera: the scene's viewpoint, held by value in the ObjectManager.
//
// The gameplay code moves it by changing position, pitch and yaw and then
// calling UpdateView; the renderer loads `view`; the sound code places the
// listener from position and GetBack.
//
// Angles: D = (sin(yaw) cos(pitch), sin(pitch), cos(yaw) cos(pitch)) points
// from the looked-at point back to the eye; the camera looks along -D.

#include <cstdint>

#include "math/matrix4.h"
#include "math/vector.h"

class Camera {
 public:
  // The eye sits at `position` (kEyeMode) or orbits it at `distance`
  // (kOrbitMode); any other value leaves the translation of `view` zero.
  static constexpr int32_t kEyeMode = 0;
  static constexpr int32_t kOrbitMode = 1;

  // Clamps pitch and distance, then rebuilds `view` from mode, position,
  // distance, pitch and yaw.
  void UpdateView();

  // The inverse of `view`, computed as for a rotation plus translation.
  Matrix4 GetInverseView() const;

  // Rows 0, 1 and 2 of `view` with w = 0: the camera's right, up and back
  // directions in world space.
  Vector GetRight() const;
  Vector GetUp() const;
  Vector GetBack() const;

  int32_t mode = kOrbitMode;
  Vector position;        // the eye (eye mode) or the point looked at (orbit mode)
  float distance = 0.0f;  // orbit distance, world units
  float pitch = 0.0f;     // radians, up/down
  float yaw = 0.0f;       // radians, about the vertical axis
  Matrix4 view;           // identity until the first UpdateView
};
