#pragma once
// InputManager: turns window input into state that the scene polls once per
// frame: which keys are held, which were pressed since last asked, the three
// mouse buttons handled like keys, and the cursor in normalised device
// coordinates. It sends no events and drops the ones it receives.
//
// Keys use GLFW 3 key codes (GLFW_KEY_ESCAPE, GLFW_KEY_LEFT_SHIFT, 'W' ...),
// which all stay below 384; the mouse buttons 0, 1, 2 (left, right, middle)
// live at 384 + b of the same 512-entry tables.
//
// Keys arrive through GLFW callbacks, which run inside glfwPollEvents at the
// end of the renderer's frame; mouse buttons and the cursor are sampled once
// per frame in Update, so a click shorter than a frame is not seen.
//
// Every key, character and mouse callback is also forwarded to the
// InterfaceManager, which hands keys and characters to the tweak bar always
// and mouse input only while the bar takes the mouse.

#include "core/module.h"
#include "math/vector.h"

struct GLFWwindow;

constexpr int kKeyTableSize = 512;
constexpr int kMouseButtonBase = 384;  // table index of mouse button 0
constexpr int kMouseButtonCount = 3;   // left, right, middle

// The held and pressed tables, without any window: the callbacks and the
// per-frame poll feed it, the scene reads it.
struct KeyTable {
  bool keyDown[kKeyTableSize] = {};     // held now
  bool keyPressed[kKeyTableSize] = {};  // went down since last taken

  // A key callback's action: 0 release, 1 press, 2 repeat. A repeat counts
  // as a press, so a held key is reported again at the repeat rate. Codes
  // outside the table (GLFW_KEY_UNKNOWN is -1) are ignored.
  void KeyAction(int key, int action);
  // One frame's sample of a mouse button: a press is recorded on the frame
  // the button goes down, not again while it stays down.
  void PollButton(int button, bool pressed);
  bool IsDown(int key) const;
  // Returns the press flag and clears it: each press is reported once.
  bool TakePressed(int key);
  void Clear();
};

// The cursor at window pixel (x, y) of a width x height window in normalised
// device coordinates: pixel centres map into -1 .. +1 and y is flipped so
// that up is positive:  (2 (x + 0.5) / W - 1,  1 - 2 (y + 0.5) / H, 0, 0).
Vector CursorToNdc(double x, double y, int width, int height);

class InputManager : public Module<InputManager> {
 public:
  InputManager();

  // Registers, installs the input callbacks on the main window and shows
  // the cursor.
  void Init() override;
  // Drops its events, then samples the cursor and the mouse buttons.
  void Update() override;
  void Kill() override;

  bool IsKeyDown(int key) const { return table.IsDown(key); }
  // A 7-bit character code, for example 'W'.
  bool IsKeyDown(char key) const { return table.IsDown(static_cast<unsigned char>(key)); }
  bool WasKeyPressed(int key) { return table.TakePressed(key); }
  bool WasKeyPressed(char key) { return table.TakePressed(static_cast<unsigned char>(key)); }
  Vector GetMousePos() const { return mousePos; }


  KeyTable table;   // keyDown, keyPressed
  Vector mousePos;  // cursor in normalised device coordinates

 private:
  // Installs (on) or removes the window's input callbacks.
  static void SetCallbacks(bool on);
  static void KeyCallback(GLFWwindow* window, int key, int scancode, int action, int mods);
  static void CharCallback(GLFWwindow* window, unsigned int codepoint);
  static void MouseButtonCallback(GLFWwindow* window, int button, int action, int mods);
  static void CursorPosCallback(GLFWwindow* window, double x, double y);
  static void ScrollCallback(GLFWwindow* window, double dx, double dy);
};
