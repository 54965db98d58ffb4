#pragma once
// GlfwWindow: the window and OpenGL context of System, through GLFW 3 and
// GLEW. Opening follows a fixed sequence (GLFW, 4x multisampling, 8-bit
// colour channels, 24-bit depth, no stencil, GLEW, the OpenGL 2.0 check,
// the close callback, vertical sync); each failure is reported through
// System::Error and the sequence goes on.
//
// A close request clears System.running and keeps the window open, so the
// engine shuts down through its normal path.

#include <string>

#include "core/system.h"

struct GLFWwindow;

class GlfwWindow : public SystemWindow {
 public:
  ~GlfwWindow() override;
  void Open(int width, int height, bool fullscreen) override;
  void SetTitle(const std::string& title) override;

 private:
  GLFWwindow* handle = nullptr;
  bool glfwStarted = false;
};

// The window that System opened, or null when none is open.
GLFWwindow* MainWindow();
