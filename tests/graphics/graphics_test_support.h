#pragma once
// The renderer on the test window: initialised once after the window-side
// modules (CLEAVE_REQUIRE_GRAPHICS() skips a test when that cannot be done),
// and one frame of the main thread's graphics-side updates.

#include <string>
#include <vector>

#include "core/event_manager.h"
#include "core/system.h"
#include "graphics/graphics.h"
#include "support/gl_window.h"
#include "window/input_manager.h"
#include "window/interface_manager.h"

namespace graphics_test {

inline const std::string& GraphicsProblem() {
  static const std::string problem = [] {
    if (!support::WindowProblem().empty()) return support::WindowProblem();
    Graphics::Instance().Init();
    return System::Instance().running ? std::string() : "Graphics::Init reported an error";
  }();
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

}  // namespace graphics_test

#define CLEAVE_REQUIRE_GRAPHICS()                                                                 \
  do {                                                                                            \
    if (!graphics_test::GraphicsProblem().empty()) GTEST_SKIP() << graphics_test::GraphicsProblem(); \
  } while (0)
