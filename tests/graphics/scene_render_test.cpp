// The deferred renderer on a small scene: a box on the ground, as the
// program shows it. Checks that objects are drawn lit over the sky and
// that ambient occlusion darkens the ground where an object rests on it,
// and that a still scene shown from its kept picture looks as drawn; the
// debug views' tint and hull lines over it.
// Writes the frame to <build>/scene_render.png for a look.

#include <algorithm>

#include "graphics/screenshot.h"
#include "graphics_test_support.h"
#include "objects/object_manager.h"
#include "physics/physics_comp.h"
#include "scene/model_type.h"
#include "scene/solid_factory.h"

namespace {

constexpr int kWidth = support::kWindowWidth, kHeight = support::kWindowHeight;

// Pixel (top-left origin) of a world point through the renderer's camera.
bool ProjectToPixel(const Vector& world, int& x, int& y) {
  ObjectManager& objects = ObjectManager::Instance();
  const Vector clip = objects.camera.Projection() * (objects.camera.view * WithW(world, 1.0f));
  if (clip.w <= 0.0f) return false;
  x = static_cast<int>((clip.x / clip.w + 1.0f) * 0.5f * kWidth);
  y = static_cast<int>((1.0f - clip.y / clip.w) * 0.5f * kHeight);
  return x >= 0 && x < kWidth && y >= 0 && y < kHeight;
}

double Luminance(const support::Rgb& c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

// Mean luminance of the on-screen part of the 5 x 5 square around a pixel (the
// occlusion term has per-pixel grain).
double MeanLuminance(const std::vector<unsigned char>& frame, int cx, int cy) {
  double sum = 0.0;
  int count = 0;
  for (int y = std::max(cy - 2, 0); y <= std::min(cy + 2, kHeight - 1); ++y)
    for (int x = std::max(cx - 2, 0); x <= std::min(cx + 2, kWidth - 1); ++x, ++count)
      sum += Luminance(support::PixelAt(frame, x, y));
  return sum / count;
}

class SceneRender : public ::testing::Test {
 protected:
  void SetUp() override {
    CLEAVE_REQUIRE_GRAPHICS();
    ObjectManager& objects = ObjectManager::Instance();
    objects.camera.mode = Camera::kOrbitMode;
    objects.camera.position = Vector(0.0f, 1.0f, 0.0f);
    objects.camera.distance = 13.0f;
    objects.camera.pitch = 0.45f;
    objects.camera.yaw = 0.6f;
    objects.camera.UpdateView();
    objects.AddGameObject(BuildGroundPlane());
    objects.AddGameObject(BuildSolid("box", Vector(0.0f, 1.0f, 0.0f), Vector(1.0f, 1.0f, 1.0f), Box, Quaternion(), 1.0f));
  }
};

TEST_F(SceneRender, ObjectsAreLitAndOccludeTheGroundWhereTheyRest) {
  for (int i = 0; i < 10; ++i) graphics_test::RunFrame();
  ASSERT_TRUE(System::Instance().running) << System::Instance().GetLogText();

  const std::vector<unsigned char> frame = graphics_test::RunFrame(true);
  WritePng(std::string(CLEAVE_BINARY_DIR) + "/scene_render.png", frame, kWidth, kHeight);  // for a look

  // The box's centre is drawn in a lit colour, not the sky, not black.
  int x = 0, y = 0;
  ASSERT_TRUE(ProjectToPixel(Vector(0.0f, 1.0f, 0.0f), x, y));
  const support::Rgb box = support::PixelAt(frame, x, y);
  EXPECT_TRUE(!support::Near(box, support::PixelAt(frame, 2, 2), 8) && Luminance(box) > 30.0);

  // Ground right beside the box's base (0.15 in front of its face towards
  // the camera) against open ground further out on the same line.
  int nx = 0, ny = 0, fx = 0, fy = 0;
  ASSERT_TRUE(ProjectToPixel(Vector(0.0f, 0.0f, 1.15f), nx, ny));
  ASSERT_TRUE(ProjectToPixel(Vector(0.0f, 0.0f, 4.5f), fx, fy));
  EXPECT_LT(MeanLuminance(frame, nx, ny), 0.85 * MeanLuminance(frame, fx, fy));

  // That frame showed the still scene from the picture kept of it. Moving
  // the box must show it moved; moving it back draws the passes again, and
  // they must give exactly the kept picture.
  GameObject& boxObject = ObjectManager::Instance().GetGameObject("box");
  boxObject.position.y += 0.5f;
  EXPECT_NE(graphics_test::RunFrame(true), frame);
  boxObject.position.y -= 0.5f;
  EXPECT_EQ(graphics_test::RunFrame(true), frame);
}

// The sleep tint lays blue (1.0 over red 0.2) at alpha 0.35 over an asleep
// box's centre; the hull view draws white lines, and only white lines.
TEST_F(SceneRender, DebugViewsTintAsleepBodiesAndOutlineHulls) {
  DebugViews& views = Graphics::Instance().debugViews;
  ObjectManager::Instance().GetGameObject("box").Find<PhysicsComp>()->sleeping = true;
  for (int i = 0; i < 3; ++i) graphics_test::RunFrame();
  const std::vector<unsigned char> plain = graphics_test::RunFrame(true);
  views.states = true;
  const std::vector<unsigned char> tinted = graphics_test::RunFrame(true);
  views.states = false;
  views.hulls = true;
  const std::vector<unsigned char> outlined = graphics_test::RunFrame(true);
  views.hulls = false;

  int x = 0, y = 0;
  ASSERT_TRUE(ProjectToPixel(Vector(0.0f, 1.0f, 0.0f), x, y));
  const support::Rgb before = support::PixelAt(plain, x, y), after = support::PixelAt(tinted, x, y);
  EXPECT_NEAR(after.b - after.r, 0.65 * (before.b - before.r) + 0.35 * 255 * (1.0 - 0.2), 4.0);

  int changed = 0, white = 0;
  for (int py = 0; py < kHeight; ++py)
    for (int px = 0; px < kWidth; ++px) {
      const support::Rgb was = support::PixelAt(plain, px, py), now = support::PixelAt(outlined, px, py);
      if (support::Near(was, now, 2)) continue;
      ++changed;
      white += support::Near(now, support::Rgb{255, 255, 255}, 40) ? 1 : 0;
    }
  EXPECT_GT(white, 100);
  EXPECT_GT(white, changed * 3 / 4);  // the rest: edges of the lines, blended
}

}  // namespace
