#pragma once
// Camera: the scene's viewpoint, held by value in the ObjectManager.
//
// The gameplay code moves it by changing position, pitch and yaw and then
// calling UpdateView; the renderer loads `view` and Projection(); gameplay
// turns the cursor into a world point with Unproject; the sound code places
// the listener from position and GetBack. The projection's aspect ratio
// follows the window's size (SetViewportSize), so none of this depends on
// the renderer having run.
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

  // Perspective projection: vertical field of view, near and far planes.
  // The shaders reconstruct eye positions from the same field of view and
  // far plane (shaders/ssao_occlusion_frag.glsl, deferred_geom_frag.glsl).
  static constexpr float kFovY = 1.0471965f;  // radians, 60 degrees
  static constexpr float kNearPlane = 0.1f;   // world units
  static constexpr float kFarPlane = 300.0f;  // world units

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

  // Sets the aspect ratio from the window's size in pixels; a size without
  // height gives 1.
  void SetViewportSize(int width, int height);
  // The perspective projection (as gluPerspective) of kFovY, the aspect
  // ratio, kNearPlane and kFarPlane.
  Matrix4 Projection() const;
  // The world point (w = 0) seen at normalised device coordinates ndc.x,
  // ndc.y (-1 to 1 across the window) and depth ndc.z (-1 on the near
  // plane, 1 on the far one), through Projection() and `view`.
  Vector Unproject(const Vector& ndc) const;

  int32_t mode = kOrbitMode;
  Vector position;        // the eye (eye mode) or the point looked at (orbit mode)
  float distance = 0.0f;  // orbit distance, world units
  float pitch = 0.0f;     // radians, up/down
  float yaw = 0.0f;       // radians, about the vertical axis
  Matrix4 view;           // identity until the first UpdateView
  float aspect = 1.0f;    // width / height of the window
};
