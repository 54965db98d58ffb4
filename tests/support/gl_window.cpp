#include "support/gl_window.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cstdlib>
#include <memory>

#include "core/event_manager.h"
#include "core/system.h"
#include "window/input_manager.h"
#include "window/interface_manager.h"
#include "window/system_window.h"

namespace support {
namespace {

std::string OpenWindow() {
  // Ask GLFW first, so that a display that cannot be reached is a skip and
  // not an error report from the window module.
  if (glfwInit() != GLFW_TRUE) return "GLFW cannot reach a display; run under xvfb-run";
  Settings settings;
  settings.screenWidth = kWindowWidth;
  settings.screenHeight = kWindowHeight;
  System& system = System::Instance();
  system.ApplySettings(settings);
  system.SetWindow(std::make_unique<GlfwWindow>());
  EventManager::Instance().Init();
  system.Init();
  system.OpenWindow();
  if (MainWindow() == nullptr) return "the window could not be opened";
  InterfaceManager::Instance().Init();
  InputManager::Instance().Init();
  return system.running ? "" : "start-up reported an error:\n" + system.GetLogText();
}

}  // namespace

const std::string& WindowProblem() {
  static const std::string problem = OpenWindow();
  return problem;
}

Rgb PixelAt(const std::vector<unsigned char>& rgba, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * kWindowWidth + x) * 4;
  return {rgba[i], rgba[i + 1], rgba[i + 2]};
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

std::vector<unsigned char> ReadBackBuffer() {
  const size_t stride = size_t(kWindowWidth) * 4;
  std::vector<unsigned char> bottomUp(stride * kWindowHeight), rgba(bottomUp.size());
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  for (int row = 0; row < kWindowHeight; ++row)
    std::copy_n(bottomUp.begin() + (kWindowHeight - 1 - row) * stride, stride,
                rgba.begin() + row * stride);
  return rgba;
}

int CountLive(bool (*isObject)(unsigned)) {
  int count = 0;
  for (unsigned name = 1; name <= 400; ++name) count += isObject(name) ? 1 : 0;
  return count;
}

}  // namespace support
