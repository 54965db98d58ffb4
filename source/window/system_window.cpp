#include "window/system_window.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <sstream>

namespace {

// Multisampling of the default framebuffer (samples per pixel). The scene is
// rendered into single-sample targets and only a full-screen quad, debug
// lines and overlays reach the window, so multisampling the window smooths
// almost nothing; on a software renderer it cost about 12 ms per frame,
// enough to make every frame "slow" and the scene cull its objects.
constexpr int kSamples = 0;
// Largest window edge accepted, in pixels. Larger requests fail cleanly
// instead of asking the X server and the GL driver for absurd surfaces.
constexpr int kMaxWindowEdge = 16384;

GLFWwindow* gMainWindow = nullptr;

void ReportGlfwError(int code, const char* description) {
  std::ostringstream line;
  line << "GLFW error " << code << ": " << (description ? description : "");
  System::Instance().Warning(line.str());
}

void OnCloseRequest(GLFWwindow* window) {
  // Keep the window open; the engine finishes the frame and shuts down.
  System::Instance().running = false;
  glfwSetWindowShouldClose(window, GLFW_FALSE);
}

}  // namespace

GLFWwindow* MainWindow() { return gMainWindow; }

GlfwWindow::~GlfwWindow() {
  if (handle) {
    if (gMainWindow == handle) gMainWindow = nullptr;
    glfwDestroyWindow(handle);
  }
  if (glfwStarted) glfwTerminate();
}

void GlfwWindow::Open(int width, int height, bool fullscreen) {
  System& system = System::Instance();
  glfwSetErrorCallback(ReportGlfwError);
  if (glfwInit() != GLFW_TRUE) {
    CLEAVE_ERROR("glfwInit failed");
    return;  // nothing later in the sequence can work without GLFW
  }
  glfwStarted = true;

  glfwWindowHint(GLFW_SAMPLES, kSamples);
  glfwWindowHint(GLFW_RED_BITS, 8);
  glfwWindowHint(GLFW_GREEN_BITS, 8);
  glfwWindowHint(GLFW_BLUE_BITS, 8);
  glfwWindowHint(GLFW_ALPHA_BITS, 8);
  glfwWindowHint(GLFW_DEPTH_BITS, 24);
  glfwWindowHint(GLFW_STENCIL_BITS, 0);

  if (width > 0 && height > 0 && width <= kMaxWindowEdge && height <= kMaxWindowEdge) {
    GLFWmonitor* monitor = fullscreen ? glfwGetPrimaryMonitor() : nullptr;
    handle = glfwCreateWindow(width, height, "Cleave", monitor, nullptr);
  }
  if (!handle) {
    CLEAVE_ERROR("glfwOpenWindow failed");
    return;  // no context: GLEW and the GL checks cannot run
  }
  glfwMakeContextCurrent(handle);

  glewExperimental = GL_TRUE;
  if (glewInit() != GLEW_OK) CLEAVE_ERROR("glewInit failed");
  if (!GLEW_VERSION_2_0) CLEAVE_ERROR("OpenGL 2.0 extensions not supported!");

  glfwSetWindowCloseCallback(handle, OnCloseRequest);
  glfwSwapInterval(1);
  gMainWindow = handle;
  system.windowOpen = true;
}

void GlfwWindow::SetTitle(const std::string& title) {
  if (handle) glfwSetWindowTitle(handle, title.c_str());
}
