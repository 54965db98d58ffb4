// The window side with a real window and GL context (run under Xvfb): the
// render targets across size changes, and the tweak bar drawing its
// description and taking the mouse only while enabled.

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <imgui.h>

#include "core/system.h"
#include "support/gl_window.h"
#include "window/interface_manager.h"
#include "window/resource_manager.h"
#include "window/system_window.h"

namespace {

using support::kWindowHeight;
using support::kWindowWidth;

std::pair<int, int> TextureSize(uint32_t texture) {
  GLint width = 0, height = 0;
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  glBindTexture(GL_TEXTURE_2D, 0);
  return {width, height};
}

// One frame of the bar alone on a black window; what it drew, top row first.
std::vector<unsigned char> BarFrame() {
  InterfaceManager::Instance().Update();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glViewport(0, 0, kWindowWidth, kWindowHeight);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  InterfaceManager::Instance().Draw();
  std::vector<unsigned char> frame = support::ReadBackBuffer();
  glfwSwapBuffers(MainWindow());
  glfwPollEvents();
  return frame;
}

// The five targets are made at the size System holds, every size change
// releases the old ones (down to 1 x 1 and back), and releasing leaves no
// GL object behind.
TEST(RenderTargets, FollowTheWindowSizeAndResizingLeaksNothing) {
  CLEAVE_REQUIRE_WINDOW();
  ResourceManager& resources = ResourceManager::Instance();
  System& system = System::Instance();
  const auto isTexture = [](unsigned n) { return glIsTexture(n) == GL_TRUE; };
  const auto isFramebuffer = [](unsigned n) { return glIsFramebufferEXT(n) == GL_TRUE; };
  const auto isRenderbuffer = [](unsigned n) { return glIsRenderbufferEXT(n) == GL_TRUE; };
  const int counts[3] = {support::CountLive(isTexture), support::CountLive(isFramebuffer),
                         support::CountLive(isRenderbuffer)};
  for (const auto& size : {std::make_pair(1, 1), {640, 480}, {1, 1}, {1024, 700}, {kWindowWidth, kWindowHeight}}) {
    system.screenWidth = size.first;
    system.screenHeight = size.second;
    resources.ReleaseRenderTargets();
    resources.CreateRenderTargets();
    for (uint32_t target : {resources.geomRenderTarget, resources.depthRenderTarget, resources.normalRenderTarget,
                            resources.shadowRenderTarget, resources.finalShadowRenderTarget})
      EXPECT_TRUE(target != 0u && TextureSize(target) == size);
    EXPECT_TRUE(support::CountLive(isTexture) == counts[0] + 5 && support::CountLive(isFramebuffer) == counts[1] + 1 &&
                support::CountLive(isRenderbuffer) == counts[2] + 1);
  }
  resources.ReleaseRenderTargets();
  EXPECT_TRUE(resources.geomRenderTarget == 0u && support::CountLive(isTexture) == counts[0] &&
              support::CountLive(isFramebuffer) + support::CountLive(isRenderbuffer) == counts[1] + counts[2]);
  EXPECT_TRUE(system.running) << system.GetLogText();
}

TEST(TweakBarWindow, DrawsItsDescriptionInItsBoxAndTakesTheMouseOnlyWhileEnabled) {
  CLEAVE_REQUIRE_WINDOW();
  InterfaceManager& interface = InterfaceManager::Instance();
  ASSERT_TRUE(interface.IsBarShown());
  ASSERT_FALSE(interface.IsInputEnabled());
  TweakBar& bar = interface.bar;
  bar.Clear();
  int modelType = 2, presses = 0;
  float shotSize = 1.0f;
  bar.AddText("Help", "Left drag: slice");
  bar.AddReadOnlyInt("Settings", "Objects", [] { return 4; });
  bar.AddEnum("Settings", "Model", &modelType, {"Random", "Sphere", "Box", "Cone"});
  bar.AddFloat("Settings", "Shot size", &shotSize, 0.5f, 3.0f, 0.25f);
  bar.AddButton("Settings", "Reset", [&] { ++presses; });
  BarFrame();  // the bar's height follows its items one frame late
  const std::vector<unsigned char> frame = BarFrame();
  // The bar at (20, 40), 220 wide and as high as its items need, clear of
  // the instruction picture: its blue shows inside its box, not outside,
  // and the values are untouched.
  const BoundingBox box = interface.GetBarBox();
  EXPECT_TRUE(box.center.x - box.halfExtents.x == 20.0f && box.center.y - box.halfExtents.y == 40.0f &&
              box.halfExtents.x == 110.0f && box.halfExtents.y > 50.0f && box.center.y + box.halfExtents.y < 400.0f);
  const int y = static_cast<int>(box.center.y);
  const support::Rgb inside = support::PixelAt(frame, 30, y), outside = support::PixelAt(frame, 300, y);
  EXPECT_GT(inside.b, inside.r + 40);
  EXPECT_TRUE(support::Near(outside, support::Rgb{0, 0, 0}, 0));
  EXPECT_TRUE(modelType == 2 && shotSize == 1.0f && presses == 0);
  // A press forwarded by the input callbacks reaches the bar's frame only
  // while the bar takes the mouse.
  for (const bool enabled : {false, true, false}) {
    interface.SetInputEnabled(enabled);
    interface.MouseButtonInput(GLFW_MOUSE_BUTTON_LEFT, GLFW_PRESS, 0);
    BarFrame();
    EXPECT_EQ(ImGui::GetIO().MouseDown[0], enabled) << "bar input enabled: " << enabled;
    interface.MouseButtonInput(GLFW_MOUSE_BUTTON_LEFT, GLFW_RELEASE, 0);
    BarFrame();
  }
  bar.Clear();
  EXPECT_TRUE(System::Instance().running) << System::Instance().GetLogText();
}

}  // namespace
