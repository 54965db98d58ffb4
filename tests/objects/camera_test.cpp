// Camera::UpdateView over a grid of orientations in both modes: the clamps,
// the eye placement, and a view matrix that is a rigid transform.

#include <gtest/gtest.h>

#include <cmath>

#include "objects/camera.h"

namespace {

void ExpectNear(const Vector& actual, const Vector& expected, float tolerance = 1e-4f) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << i;
}

Camera MakeCamera(int mode, const Vector& position, float distance, float yaw, float pitch) {
  Camera camera;
  camera.mode = mode;
  camera.position = position;
  camera.distance = distance;
  camera.yaw = yaw;
  camera.pitch = pitch;
  camera.UpdateView();
  return camera;
}

TEST(Camera, PitchIsClampedJustInsideAQuarterTurnAndDistanceHasAFloor) {
  const float cases[][2] = {{2.0f, 1.5707962513f}, {-7.0f, -1.5707962513f}, {1.2f, 1.2f}};
  for (const auto& c : cases) EXPECT_EQ(MakeCamera(Camera::kOrbitMode, Vector(), 1.0f, 0.0f, c[0]).pitch, c[1]) << c[0];
  // Looking straight down still gives a usable, finite basis.
  const Camera down = MakeCamera(Camera::kOrbitMode, Vector(), -3.0f, 0.0f, 100.0f);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(down.view[i])) << i;
  EXPECT_NEAR(Length(down.GetRight()), 1.0f, 1e-5f);
  EXPECT_TRUE(down.distance == 1.0e-7f && MakeCamera(Camera::kOrbitMode, Vector(), 12.0f, 0, 0).distance == 12.0f);
  // An unknown mode leaves the translation zero.
  ExpectNear(MakeCamera(2, Vector(3, 1, -2), 10.0f, 0.3f, 0.2f).view.Column(3), Vector(0, 0, 0, 1));
}

// Orbit mode puts the eye at the distance along the back direction D from
// the target, eye mode at the position; the camera looks along -D. The basis
// is orthonormal and right-handed with w = 0, up never points down, there is
// no roll, and the rigid inverse really inverts the view.
TEST(Camera, EyePlacementAndARigidViewForAnyOrientation) {
  const Vector position(1.0f, -2.0f, 0.5f, 1.0f);
  for (const int mode : {Camera::kEyeMode, Camera::kOrbitMode}) {
    for (float yaw = -3.0f; yaw <= 3.0f; yaw += 0.75f) {
      for (float pitch = -1.5f; pitch <= 1.5f; pitch += 0.375f) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << " yaw " << yaw << " pitch " << pitch);
        const Camera camera = MakeCamera(mode, position, 7.0f, yaw, pitch);
        const Vector back(std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch));
        const Vector eye = mode == Camera::kOrbitMode ? position + back * 7.0f : position;
        ExpectNear(camera.GetBack(), back);
        ExpectNear(camera.view * WithW(eye - back * 5.0f, 1.0f), Vector(0.0f, 0.0f, -5.0f, 1.0f));  // 5 ahead
        ExpectNear(WithW(camera.GetInverseView().Column(3), 0.0f), WithW(eye, 0.0f));
        const Vector basis[3] = {camera.GetRight(), camera.GetUp(), camera.GetBack()};
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(Dot(basis[i / 3], basis[i % 3]), i % 4 == 0, 1e-5f);  // w = 0 too
        ExpectNear(Cross(basis[0], basis[1]), basis[2]);
        EXPECT_TRUE(std::fabs(basis[0].y) < 1e-5f && basis[1].y >= 0.0f);  // no roll, up never down
        ExpectNear(camera.view.Axis(3), Vector(0.0f, 0.0f, 0.0f, 1.0f), 0.0f);
        const Matrix4 product = camera.GetInverseView() * camera.view;
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], Matrix4()[i], 1e-5f) << i;
      }
    }
  }
}

}  // namespace
