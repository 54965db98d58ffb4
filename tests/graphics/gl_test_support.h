#pragma once
// The window of a graphics test process: opened once, with the modules the
// renderer works with (events, System with a GLFW window, Graphics, the
// tweak bar, input) initialised the way the program does it. Tests that
// need it start with CLEAVE_REQUIRE_WINDOW(), which skips them with a
// message when no display is available.
//
// Also: one frame of the main thread's graphics-side updates, reading the
// window back, and small scratch files.

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "event_manager.h"
#include "graphics/graphics.h"
#include "graphics/screenshot.h"
#include "input_manager.h"
#include "interface_manager.h"
#include "system.h"
#include "system_window.h"

namespace gltest {

constexpr int kWidth = 800, kHeight = 600;  // pixels

// Empty when the window is open, else why it is not.
inline std::string& WindowProblem() {
  static std::string problem = "not opened yet";
  return problem;
}

inline bool OpenWindowOnce() {
  static bool tried = false;
  if (tried) return WindowProblem().empty();
  tried = true;
  // Shaders and assets are found relative to the repository root.
  if (chdir(CLEAVE_SOURCE_DIR) != 0) {
    WindowProblem() = "cannot enter the source folder";
    return false;
  }
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    WindowProblem() = "no display (DISPLAY is not set); run under xvfb-run";
    return false;
  }
  // Ask GLFW first, so that a display that cannot be reached is a skip and
  // not an error report from the window module.
  if (glfwInit() != GLFW_TRUE) {
    WindowProblem() = "GLFW cannot reach the display";
    return false;
  }
  Settings settings;
  settings.screenWidth = kWidth;
  settings.screenHeight = kHeight;
  System& system = System::Instance();
  system.ApplySettings(settings);
  system.SetWindow(std::make_unique<GlfwWindow>());
  EventManager::Instance().Init();
  system.Init();
  system.OpenWindow();
  if (MainWindow() == nullptr) {
    WindowProblem() = "the window could not be opened";
    return false;
  }
  Graphics::Instance().Init();
  InterfaceManager::Instance().Init();
  InputManager::Instance().Init();
  if (!system.running) {
    WindowProblem() = "start-up reported an error:\n" + system.GetLogText();
    return false;
  }
  WindowProblem().clear();
  return true;
}

// Runs the main thread's updates of one frame that concern the window side.
inline void RunFrame() {
  System::Instance().FrameStart();
  EventManager::Instance().Update();
  InputManager::Instance().Update();
  InterfaceManager::Instance().Update();
  Graphics::Instance().Update();
  System::Instance().AccountFrame(System::Instance().GetTime() -
                                  System::Instance().frameStartTime);
}

// Runs one frame and returns what it drew, top row first (read back
// before the swap).
inline std::vector<unsigned char> RunFrameAndRead() {
  Graphics::Instance().captureNextFrame = true;
  RunFrame();
  return Graphics::Instance().capturedFrame;
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

// A scratch folder removed with the object.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "cleave_graphics_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

// A width x height PNG of one colour with `channels` channels (1: grey).
inline bool WriteSolidPng(const std::string& file, int width, int height, int channels,
                          const unsigned char* colour) {
  std::vector<unsigned char> data(static_cast<size_t>(width) * height * channels);
  for (size_t i = 0; i < data.size(); ++i) data[i] = colour[i % channels];
  return stbi_write_png(file.c_str(), width, height, channels, data.data(), width * channels) != 0;
}

// Number of live GL objects among the names 1 .. limit, by the given test.
template <class IsObject>
int CountLive(IsObject isObject, unsigned limit) {
  int count = 0;
  for (unsigned name = 1; name <= limit; ++name) count += isObject(name) ? 1 : 0;
  return count;
}

}  // namespace gltest

#define CLEAVE_REQUIRE_WINDOW()                                              \
  do {                                                                       \
    if (!gltest::OpenWindowOnce()) GTEST_SKIP() << gltest::WindowProblem(); \
  } while (0)
