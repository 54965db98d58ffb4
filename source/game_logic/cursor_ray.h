#pragma once
// Where the cursor points: the camera's eye and the world point under the
// cursor, the two ends of every ray the gestures use.

#include "objects/camera.h"
#include "math/vector.h"

// The eye of the camera: the translation of its inverse view.
inline Vector EyePosition(const Camera& camera) {
  return WithW(camera.GetInverseView().Column(3), 0.0f);
}

// The world point under the cursor (normalised device coordinates), at depth
// 0: just beyond the near plane, where the cut line is drawn.
inline Vector CursorWorldPoint(const Camera& camera, const Vector& mouse) {
  return camera.Unproject(Vector(mouse.x, mouse.y, 0.0f));
}
