// Camera::Unproject against the pinhole model worked out in double
// precision from the camera's angles: a point at normalised device
// coordinates (x, y, z) lies at eye depth d = 2fn / ((f + n) - z (f - n)),
// x d tan(fov/2) aspect to the right and y d tan(fov/2) up.

#include <gtest/gtest.h>

#include <cmath>

#include "objects/camera.h"

namespace {

struct D3 {
  double x, y, z;
};
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator*(D3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
D3 Cross(D3 a, D3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
D3 Unit(D3 a) { return a * (1.0 / std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z)); }

}  // namespace

TEST(CameraProjection, UnprojectFollowsThePinholeModel) {
  const double n = Camera::kNearPlane, f = Camera::kFarPlane;
  const double tanHalf = std::tan(0.5 * Camera::kFovY);
  const int sizes[][2] = {{800, 600}, {1024, 768}, {300, 900}};
  for (const auto& size : sizes) {
    for (const float yaw : {0.0f, 1.4625f, -2.5f}) {
      for (const float pitch : {0.0f, 0.4f, -1.2f}) {
        Camera camera;
        camera.mode = Camera::kEyeMode;
        camera.position = Vector(5.3574f, 2.1208f, 1.2421f);
        camera.yaw = yaw;
        camera.pitch = pitch;
        camera.UpdateView();
        camera.SetViewportSize(size[0], size[1]);
        const double aspect = static_cast<double>(size[0]) / size[1];
        const D3 back{std::sin(yaw) * std::cos(pitch), std::sin(pitch),
                      std::cos(yaw) * std::cos(pitch)};
        const D3 forward = back * -1.0;
        const D3 right = Unit(Cross(forward, D3{0.0, 1.0, 0.0}));
        const D3 up = Cross(right, forward);
        const D3 eye{5.3574, 2.1208, 1.2421};
        for (const float x : {-1.0f, -0.3f, 0.7f}) {
          for (const float y : {-1.0f, 0.25f, 1.0f}) {
            for (const float z : {-1.0f, 0.0f, 0.5f}) {
              const double d = 2.0 * f * n / ((f + n) - z * (f - n));
              const D3 expected =
                  eye + forward * d + right * (x * d * tanHalf * aspect) + up * (y * d * tanHalf);
              const Vector p = camera.Unproject(Vector(x, y, z));
              const double tolerance = 1e-5 * (1.0 + d);
              SCOPED_TRACE(testing::Message() << "yaw " << yaw << " pitch " << pitch << " ndc "
                                              << x << ", " << y << ", " << z);
              EXPECT_NEAR(p.x, expected.x, tolerance);
              EXPECT_NEAR(p.y, expected.y, tolerance);
              EXPECT_NEAR(p.z, expected.z, tolerance);
              EXPECT_EQ(p.w, 0.0f);
            }
          }
        }
      }
    }
  }
}
