#pragma once
// InterfaceManager: owns the program's one tweak bar, a Dear ImGui window
// titled "TweakBar" (at 20, 40, 220 pixels wide and as high as its items
// need, blue at alpha 160, light text) showing first whether it takes the
// mouse ("Mouse: ON" / "Mouse: OFF"), then the groups and items of `bar`
// (see tweak_bar.h).
//
//   Init    creates the ImGui context with the GLFW and OpenGL 2 backends.
//           The GLFW backend installs no callbacks of its own: InputManager
//           forwards every input; keys and characters reach the bar always,
//           mouse buttons and wheel only while the bar takes the mouse
//           (SetInputEnabled).
//   Update  runs one ImGui frame: takes the input, lays out the bar from its
//           description and calls button callbacks. Drawing happens later,
//           in the renderer, through Draw().
//   Kill    shuts ImGui down.
// Without a window (MainWindow() null) there is no bar: Update and Draw do
// nothing and GetBarBox gives zeros.
//
// Failures are reported as "ImGui initialization failed: " and the step
// that failed; start-up goes on without a bar.

#include <string>
#include <vector>

#include "core/module.h"
#include "math/bounding_box.h"
#include "window/tweak_bar.h"

class InterfaceManager : public Module<InterfaceManager> {
 public:
  InterfaceManager();

  void Init() override;
  void Update() override;
  void Kill() override;

  // Routes mouse input to the bar (true) or to the scene only (false);
  // calling it with the current value does nothing.
  void SetInputEnabled(bool on);
  bool IsInputEnabled() const { return inputEnabled; }
  // A line shown at the top centre of the window while not empty (the
  // scene's notices); set by the scene, drawn from the next frame on.
  std::string notice;

  // The bar's rectangle in window pixels: centre (x + w/2, y + h/2, 0, 0)
  // and half size (w/2, h/2, 0, 0); both zero when there is no bar.
  BoundingBox GetBarBox() const;
  static BoundingBox BarBox(int x, int y, int width, int height);

  // Whether the bar exists and is drawn (the renderer asks before Draw).
  bool IsBarShown() const { return ready; }
  // Renders the bar laid out by the last Update into the bound framebuffer.
  // Switches to the fixed pipeline first: the OpenGL 2 backend does not
  // unbind a GLSL program.
  void Draw();
  // The window size changed (the backend reads the size itself every frame;
  // this keeps the bar inside the window).
  void WindowSize(int width, int height);

  // Input forwarded by InputManager's callbacks.
  void KeyInput(int key, int scancode, int action, int mods);
  void CharInput(unsigned int codepoint);
  void MouseButtonInput(int button, int action, int mods);
  void CursorInput(double x, double y);
  void ScrollInput(double dx, double dy);

  TweakBar bar;               // what the bar shows; filled by the scene
  // Lines shown in a small window at the top right (the statistics
  // overlay), one frame after they are set; none while empty.
  std::vector<std::string> overlayLines;
  bool inputEnabled = false;  // mouse input goes to the bar

 private:
  void LayOut();

  bool ready = false;  // ImGui and both backends are initialised
  bool frameBuilt = false;  // Update made draw data that Draw may render
  // The bar's rectangle as of the last frame, in window pixels.
  int barX = 20, barY = 40, barWidth = 220, barHeight = 0;
  double cursorX = -1.0, cursorY = -1.0;  // last cursor position seen while enabled
  bool haveCursor = false;
};
