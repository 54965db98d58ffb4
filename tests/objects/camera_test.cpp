// Camera::UpdateView: the clamps, both eye placements, and the properties of
// the view matrix it builds.

#include <gtest/gtest.h>

#include <cmath>

#include "objects/camera.h"

namespace {

constexpr float kTolerance = 1e-5f;

void ExpectNear(const Vector& actual, const Vector& expected, float tolerance = kTolerance) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
  EXPECT_NEAR(actual.w, expected.w, tolerance);
}

Vector BackDirection(float yaw, float pitch) {
  return Vector(std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch));
}

}  // namespace

TEST(Camera, PitchIsClampedJustInsideAQuarterTurn) {
  Camera camera;
  camera.pitch = 2.0f;
  camera.UpdateView();
  EXPECT_EQ(camera.pitch, 1.5707962513f);
  camera.pitch = -7.0f;
  camera.UpdateView();
  EXPECT_EQ(camera.pitch, -1.5707962513f);
  camera.pitch = 1.2f;  // inside the range: untouched
  camera.UpdateView();
  EXPECT_EQ(camera.pitch, 1.2f);

  // Looking straight down still gives a usable, finite basis.
  camera.pitch = 100.0f;
  camera.UpdateView();
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(camera.view[i])) << i;
  EXPECT_NEAR(Length(camera.GetRight()), 1.0f, kTolerance);
}

TEST(Camera, DistanceHasAFloor) {
  Camera camera;
  camera.distance = -3.0f;
  camera.UpdateView();
  EXPECT_EQ(camera.distance, 1.0e-7f);
  camera.distance = 12.0f;
  camera.UpdateView();
  EXPECT_EQ(camera.distance, 12.0f);
}

TEST(Camera, LevelCameraLooksDownNegativeZ) {
  Camera camera;
  camera.mode = Camera::kEyeMode;
  camera.UpdateView();
  ExpectNear(camera.GetRight(), Vector(1.0f, 0.0f, 0.0f));
  ExpectNear(camera.GetUp(), Vector(0.0f, 1.0f, 0.0f));
  ExpectNear(camera.GetBack(), Vector(0.0f, 0.0f, 1.0f));
}

TEST(Camera, OrbitModeKeepsTheTargetStraightAheadAtTheDistance) {
  Camera camera;
  camera.mode = Camera::kOrbitMode;
  camera.position = Vector(3.0f, 1.0f, -2.0f, 1.0f);
  camera.distance = 10.0f;
  camera.yaw = 0.7f;
  camera.pitch = 0.4f;
  camera.UpdateView();

  // The eye sits at distance along the back direction from the target.
  const Vector eye = camera.position + BackDirection(0.7f, 0.4f) * 10.0f;
  ExpectNear(camera.view * WithW(eye, 1.0f), Vector(0.0f, 0.0f, 0.0f, 1.0f), 1e-4f);
  ExpectNear(camera.view * WithW(camera.position, 1.0f), Vector(0.0f, 0.0f, -10.0f, 1.0f), 1e-4f);
  // The inverse view's translation is the eye.
  ExpectNear(WithW(camera.GetInverseView().Column(3), 0.0f), WithW(eye, 0.0f), 1e-4f);
}

TEST(Camera, EyeModePutsTheEyeAtThePosition) {
  Camera camera;
  camera.mode = Camera::kEyeMode;
  camera.position = Vector(-4.0f, 2.5f, 8.0f, 1.0f);
  camera.distance = 10.0f;  // ignored in eye mode
  camera.yaw = -1.1f;
  camera.pitch = -0.3f;
  camera.UpdateView();

  ExpectNear(camera.view * WithW(camera.position, 1.0f), Vector(0.0f, 0.0f, 0.0f, 1.0f), 1e-4f);
  const Vector ahead = camera.position - BackDirection(-1.1f, -0.3f) * 5.0f;
  ExpectNear(camera.view * WithW(ahead, 1.0f), Vector(0.0f, 0.0f, -5.0f, 1.0f), 1e-4f);
}

TEST(Camera, UnknownModeLeavesTheTranslationZero) {
  Camera camera;
  camera.mode = 2;
  camera.position = Vector(5.0f, 5.0f, 5.0f);
  camera.distance = 3.0f;
  camera.UpdateView();
  ExpectNear(camera.view.Column(3), Vector(0.0f, 0.0f, 0.0f, 1.0f));
}

// Over a grid of orientations and both modes: the basis is orthonormal and
// right-handed with w = 0, up never points down, the last row is (0, 0, 0, 1),
// and the rigid inverse really inverts the view.
TEST(Camera, ViewIsARigidTransformForAnyOrientation) {
  for (int mode = 0; mode < 2; ++mode) {
    for (float yaw = -3.0f; yaw <= 3.0f; yaw += 0.75f) {
      for (float pitch = -1.5f; pitch <= 1.5f; pitch += 0.375f) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << " yaw " << yaw << " pitch " << pitch);
        Camera camera;
        camera.mode = mode;
        camera.position = Vector(1.0f, -2.0f, 0.5f, 1.0f);
        camera.distance = 7.0f;
        camera.yaw = yaw;
        camera.pitch = pitch;
        camera.UpdateView();

        const Vector r = camera.GetRight(), u = camera.GetUp(), b = camera.GetBack();
        EXPECT_EQ(r.w, 0.0f);
        EXPECT_EQ(u.w, 0.0f);
        EXPECT_EQ(b.w, 0.0f);
        EXPECT_NEAR(Length(r), 1.0f, kTolerance);
        EXPECT_NEAR(Length(u), 1.0f, kTolerance);
        EXPECT_NEAR(Length(b), 1.0f, kTolerance);
        EXPECT_NEAR(Dot(r, u), 0.0f, kTolerance);
        EXPECT_NEAR(Dot(r, b), 0.0f, kTolerance);
        EXPECT_NEAR(Dot(u, b), 0.0f, kTolerance);
        ExpectNear(Cross(r, u), b);
        EXPECT_NEAR(r.y, 0.0f, kTolerance);  // no roll
        EXPECT_GE(u.y, 0.0f);
        ExpectNear(camera.view.Axis(3), Vector(0.0f, 0.0f, 0.0f, 1.0f), 0.0f);

        const Matrix4 product = camera.GetInverseView() * camera.view;
        const Matrix4 identity;
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], identity[i], 1e-5f) << i;
      }
    }
  }
}
