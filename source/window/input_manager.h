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
//
// Recording and replay (--record, --replay; see core/input_recording.h): a
// recording takes every callback and each frame's sample of the cursor and
// buttons, with the frame it reaches the scene on, and the state hash
// (stateHash, installed by the app) at the start of every 61st, 121st ...
// frame. A replay hands the recorded input to the tables and the bar on the
// same frames, ignores the window's own input, ends the run on the
// recording's last frame and at shutdown reports whether its hashes match.
// With both options, the replay writes its input with its own hashes to the
// --record file. Both fix the scene's random seed: a recording stores the
// seed of its run (the time when no --seed was given), a replay uses it.

#include <cstdint>
#include <functional>

#include "core/input_recording.h"
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
  InputSession session;
  std::function<uint64_t()> stateHash;  // the scene's state hash; may be empty

 private:
  // Reads --replay or prepares --record, and fixes the seed for both.
  void StartSession();
  // Writes the recording, or reports how the replay matched it.
  void EndSession();
  // Hands this frame's recorded input on, as the callbacks and the poll do.
  void ReplayFrame();
  int sampledButtons = 0;  // mouse buttons held at the last sample, bit b for button b
  // Installs (on) or removes the window's input callbacks.
  static void SetCallbacks(bool on);
  static void KeyCallback(GLFWwindow* window, int key, int scancode, int action, int mods);
  static void CharCallback(GLFWwindow* window, unsigned int codepoint);
  static void MouseButtonCallback(GLFWwindow* window, int button, int action, int mods);
  static void CursorPosCallback(GLFWwindow* window, double x, double y);
  static void ScrollCallback(GLFWwindow* window, double dx, double dy);
};
