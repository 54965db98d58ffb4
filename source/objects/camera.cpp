#include "objects/camera.h"

#include <cmath>

namespace {
// Pitch is kept just inside +-pi/2: at exactly +-pi/2 the look direction is
// parallel to the world up axis and the right vector F x up is zero.
// Values beyond the float nearest pi/2 are pulled back to the float just
// below it (radians).
constexpr float kPitchLimit = 1.5707963705f;
constexpr float kPitchClamped = 1.5707962513f;
// The orbit distance never reaches zero (world units), so the eye and the
// looked-at point stay apart.
constexpr float kMinDistance = 1.0e-7f;
}  // namespace

void Camera::UpdateView() {
  if (pitch < -kPitchLimit) pitch = -kPitchClamped;
  if (pitch > kPitchLimit) pitch = kPitchClamped;
  if (distance < kMinDistance) distance = kMinDistance;

  // D points back towards the eye; the camera looks along F = -D.
  const float cosPitch = std::cos(pitch);
  const Vector back(std::sin(yaw) * cosPitch, std::sin(pitch), std::cos(yaw) * cosPitch, 0.0f);
  const Vector forward = -back;
  const Vector right = Normalize(Cross(forward, Vector(0.0f, 1.0f, 0.0f, 0.0f)));
  const Vector up = Cross(right, forward);

  // The rows of the rotation are the camera axes in world coordinates, so
  // view maps world directions into camera space.
  view = Matrix4::Zero();
  view.SetAxis(0, right);
  view.SetAxis(1, up);
  view.SetAxis(2, back);

  // Translation: minus the eye expressed in camera axes.
  if (mode == kEyeMode || mode == kOrbitMode) {
    const Vector eye = mode == kEyeMode ? position : position + back * distance;
    view(0, 3) = -Dot3(right, eye);
    view(1, 3) = -Dot3(up, eye);
    view(2, 3) = -Dot3(back, eye);
  }
  view.SetAxis(3, Vector(0.0f, 0.0f, 0.0f, 1.0f));
}

Matrix4 Camera::GetInverseView() const { return view.RigidInverse(); }

Vector Camera::GetRight() const { return WithW(view.Axis(0), 0.0f); }
Vector Camera::GetUp() const { return WithW(view.Axis(1), 0.0f); }
Vector Camera::GetBack() const { return WithW(view.Axis(2), 0.0f); }

void Camera::SetViewportSize(int width, int height) {
  aspect = height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
}

Matrix4 Camera::Projection() const {
  return Matrix4::Perspective(kFovY, aspect, kNearPlane, kFarPlane);
}

Vector Camera::Unproject(const Vector& ndc) const {
  const Vector eye = Projection().Inverse() * Vector(ndc.x, ndc.y, ndc.z, 1.0f);
  const Vector world = GetInverseView() * eye;
  return WithW(world / world.w, 0.0f);
}
