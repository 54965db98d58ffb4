#pragma once
// The window of a graphics test process: opened once, with the modules the
// renderer works with initialised the way the program does it. Tests that
// need it start with CLEAVE_REQUIRE_WINDOW(), which skips them with a
// message when no display is available. Also: one frame of the main
// thread's graphics-side updates, reading the window back, test files.

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/event_manager.h"
#include "core/system.h"
#include "graphics/graphics.h"
#include "graphics/screenshot.h"
#include "window/input_manager.h"
#include "window/interface_manager.h"
#include "window/system_window.h"

namespace gltest {

constexpr int kWidth = 800, kHeight = 600;  // pixels

inline std::string OpenWindow() {
  // Shaders and assets are found relative to the repository root.
  if (chdir(CLEAVE_SOURCE_DIR) != 0) return "cannot enter the source folder";
  // Ask GLFW first, so that a display that cannot be reached is a skip and
  // not an error report from the window module.
  if (glfwInit() != GLFW_TRUE) return "GLFW cannot reach a display; run under xvfb-run";
  Settings settings;
  settings.screenWidth = kWidth;
  settings.screenHeight = kHeight;
  System& system = System::Instance();
  system.ApplySettings(settings);
  system.SetWindow(std::make_unique<GlfwWindow>());
  EventManager::Instance().Init();
  system.Init();
  system.OpenWindow();
  if (MainWindow() == nullptr) return "the window could not be opened";
  Graphics::Instance().Init();
  InterfaceManager::Instance().Init();
  InputManager::Instance().Init();
  return system.running ? "" : "start-up reported an error:\n" + system.GetLogText();
}

// Empty once the window is open, else why it is not.
inline const std::string& WindowProblem() {
  static const std::string problem = OpenWindow();
  return problem;
}

// Runs the main thread's updates of one frame that concern the window side;
// returns what it drew (RGBA, top row first) when asked to capture it.
inline std::vector<unsigned char> RunFrame(bool capture = false) {
  System& system = System::Instance();
  Graphics::Instance().captureNextFrame = capture;
  system.FrameStart();
  EventManager::Instance().Update();
  InputManager::Instance().Update();
  InterfaceManager::Instance().Update();
  Graphics::Instance().Update();
  system.AccountFrame(system.GetTime() - system.frameStartTime);
  return capture ? Graphics::Instance().capturedFrame : std::vector<unsigned char>();
}

struct Rgb {
  int r, g, b;
};
inline Rgb PixelAt(const std::vector<unsigned char>& rgba, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * kWidth + x) * 4;
  return {rgba[i], rgba[i + 1], rgba[i + 2]};
}
inline bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

// A file name in the build folder for what a test writes.
inline std::string ScratchFile(const std::string& name) {
  return std::string(CLEAVE_BINARY_DIR) + "/graphics_test_" + name;
}

// A width x height PNG of one colour with `channels` channels (1: grey).
inline bool WriteSolidPng(const std::string& file, int width, int height, int channels,
                          const unsigned char* colour) {
  std::vector<unsigned char> data(static_cast<size_t>(width) * height * channels);
  for (size_t i = 0; i < data.size(); ++i) data[i] = colour[i % channels];
  return stbi_write_png(file.c_str(), width, height, channels, data.data(), width * channels) != 0;
}

// Number of live GL objects among the names 1 .. 400, by the given test.
template <class IsObject>
int CountLive(IsObject isObject) {
  int count = 0;
  for (unsigned name = 1; name <= 400; ++name) count += isObject(name) ? 1 : 0;
  return count;
}

}  // namespace gltest

#define CLEAVE_REQUIRE_WINDOW()                                                    \
  do {                                                                             \
    if (!gltest::WindowProblem().empty()) GTEST_SKIP() << gltest::WindowProblem(); \
  } while (0)
