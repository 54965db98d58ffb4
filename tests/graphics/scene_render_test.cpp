// The deferred renderer on a small scene: the ground and three solids, as
// the program shows them. Checks that objects are drawn lit over the sky and
// that ambient occlusion darkens the ground where an object rests on it.
// Writes the frame to <build>/scene_render.png for a look, and prints the
// frame load (work time over the 1/60 s budget) for the performance notes.

#include <sys/resource.h>

#include <cmath>
#include <cstdio>

#include "game_logic/model_type.h"
#include "game_logic/solid_factory.h"
#include "gl_test_support.h"
#include "object_manager.h"

namespace {

using gltest::kHeight;
using gltest::kWidth;

// Pixel (top-left origin) of a world point through the renderer's camera.
bool ProjectToPixel(const Vector& world, int& x, int& y) {
  ObjectManager& objects = ObjectManager::Instance();
  const Vector clip = objects.projection * (objects.camera.view * WithW(world, 1.0f));
  if (clip.w <= 0.0f) return false;
  x = static_cast<int>((clip.x / clip.w + 1.0f) * 0.5f * kWidth);
  y = static_cast<int>((1.0f - clip.y / clip.w) * 0.5f * kHeight);
  return x >= 0 && x < kWidth && y >= 0 && y < kHeight;
}

// Processor time of the whole process (every thread, GL's included), seconds.
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

double Luminance(const gltest::Rgb& c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

// Mean luminance of a small square around a pixel (the occlusion term has
// per-pixel grain).
double MeanLuminance(const std::vector<unsigned char>& frame, int cx, int cy, int radius) {
  double sum = 0.0;
  int count = 0;
  for (int y = cy - radius; y <= cy + radius; ++y)
    for (int x = cx - radius; x <= cx + radius; ++x) {
      if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) continue;
      sum += Luminance(gltest::PixelAt(frame, x, y));
      ++count;
    }
  return count > 0 ? sum / count : 0.0;
}

class SceneRender : public ::testing::Test {
 protected:
  void SetUp() override {
    CLEAVE_REQUIRE_WINDOW();
    ObjectManager& objects = ObjectManager::Instance();
    objects.camera.mode = Camera::kOrbitMode;
    objects.camera.position = Vector(0.0f, 1.0f, 0.0f);
    objects.camera.distance = 13.0f;
    objects.camera.pitch = 0.45f;
    objects.camera.yaw = 0.6f;
    objects.camera.UpdateView();
    objects.AddGameObject(BuildGroundPlane());
    objects.AddGameObject(BuildSolid("box", Vector(0.0f, 1.0f, 0.0f), Vector(1.0f, 1.0f, 1.0f),
                                     Box, Quaternion(), 1.0f));
    objects.AddGameObject(BuildSolid("sphere", Vector(-4.0f, 1.0f, 2.0f),
                                     Vector(1.0f, 1.0f, 1.0f), Sphere, Quaternion(), 1.0f));
    objects.AddGameObject(BuildSolid("cone", Vector(4.0f, 1.0f, -2.0f), Vector(1.0f, 1.0f, 1.0f),
                                     Cone, Quaternion(),
                                     1.0f));
  }
};

TEST_F(SceneRender, ObjectsAreLitAndOccludeTheGroundWhereTheyRest) {
  // Warm up, then measure the frame work the way System does (exponential
  // average of the work time), without the pacing sleep.
  for (int i = 0; i < 10; ++i) gltest::RunFrame();
  System& system = System::Instance();
  system.avgWorkTime = 0.0;
  const int kFrames = 60;
  double total = 0.0;
  const double cpuStart = ProcessCpuSeconds();
  for (int i = 0; i < kFrames; ++i) {
    const double start = system.GetTime();
    gltest::RunFrame();
    total += system.GetTime() - start;
  }
  const double cpu = ProcessCpuSeconds() - cpuStart;
  // Wall time depends on what else the machine runs; processor time per
  // frame (all threads) does much less.
  std::printf("frame load at %dx%d: %.3f (mean work %.2f ms, processor %.2f ms per frame, %d frames)\n",
              kWidth, kHeight, (total / kFrames) / kFrameBudget, 1000.0 * total / kFrames,
              1000.0 * cpu / kFrames, kFrames);
  ASSERT_TRUE(system.running) << system.GetLogText();

  const std::vector<unsigned char> frame = gltest::RunFrameAndRead();
  WritePng(std::string(CLEAVE_BINARY_DIR) + "/scene_render.png", frame, kWidth, kHeight);

  // The box's centre is drawn in a lit colour, not the sky, not black.
  int x = 0, y = 0;
  ASSERT_TRUE(ProjectToPixel(Vector(0.0f, 1.0f, 0.0f), x, y));
  const gltest::Rgb sky = gltest::PixelAt(frame, 2, 2);
  const gltest::Rgb box = gltest::PixelAt(frame, x, y);
  EXPECT_FALSE(gltest::Near(box, sky, 8));
  EXPECT_GT(Luminance(box), 30.0);

  // Ground right beside the box's base (0.15 in front of its face towards
  // the camera) against open ground further out on the same line.
  int nx = 0, ny = 0, fx = 0, fy = 0;
  ASSERT_TRUE(ProjectToPixel(Vector(0.0f, 0.0f, 1.15f), nx, ny));
  ASSERT_TRUE(ProjectToPixel(Vector(0.0f, 0.0f, 4.5f), fx, fy));
  const double nearGround = MeanLuminance(frame, nx, ny, 2);
  const double openGround = MeanLuminance(frame, fx, fy, 2);
  std::printf("ground luminance beside the box %.1f, in the open %.1f\n", nearGround, openGround);
  EXPECT_LT(nearGround, 0.85 * openGround);
}

}  // namespace
