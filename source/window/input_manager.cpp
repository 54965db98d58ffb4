#include "window/input_manager.h"

#include <GLFW/glfw3.h>

#include "core/event_manager.h"
#include "core/system.h"
#include "window/interface_manager.h"
#include "window/system_window.h"

// GLFW's actions; the table logic is kept free of the GLFW header's values
// through these checks.
static_assert(GLFW_RELEASE == 0 && GLFW_PRESS == 1 && GLFW_REPEAT == 2, "GLFW key actions");
static_assert(GLFW_KEY_LAST < kMouseButtonBase, "key codes must stay below the mouse buttons");

namespace {
bool InTable(int key) { return key >= 0 && key < kKeyTableSize; }
}  // namespace

void KeyTable::KeyAction(int key, int action) {
  if (!InTable(key)) return;
  if (action == 1 || action == 2) {  // press or repeat
    keyDown[key] = true;
    keyPressed[key] = true;
  } else if (action == 0) {
    keyDown[key] = false;
  }
}

void KeyTable::PollButton(int button, bool pressed) {
  const int i = kMouseButtonBase + button;
  if (button < 0 || !InTable(i)) return;
  if (pressed) {
    if (!keyDown[i]) keyPressed[i] = true;
    keyDown[i] = true;
  } else {
    keyDown[i] = false;
  }
}

bool KeyTable::IsDown(int key) const { return InTable(key) && keyDown[key]; }

bool KeyTable::TakePressed(int key) {
  if (!InTable(key) || !keyPressed[key]) return false;
  keyPressed[key] = false;
  return true;
}

void KeyTable::Clear() {
  for (int i = 0; i < kKeyTableSize; ++i) keyDown[i] = keyPressed[i] = false;
}

Vector CursorToNdc(double x, double y, int width, int height) {
  if (width <= 0 || height <= 0) return Vector();  // a minimised window has no pixels
  return Vector(static_cast<float>(2.0 * (x + 0.5) / width - 1.0),
                static_cast<float>(1.0 - 2.0 * (y + 0.5) / height), 0.0f, 0.0f);
}

InputManager::InputManager() : Module<InputManager>("InputManager") {}

void InputManager::Init() {
  EventManager::Instance().RegisterClient(name);
  SetCallbacks(true);
}

void InputManager::Update() {
  ProcessEvents();  // nothing to do with them: input is polled
  GLFWwindow* window = MainWindow();
  if (window == nullptr) return;

  double x = 0.0, y = 0.0;
  glfwGetCursorPos(window, &x, &y);
  const System& system = System::Instance();
  mousePos = CursorToNdc(x, y, system.screenWidth, system.screenHeight);

  for (int b = 0; b < kMouseButtonCount; ++b)
    table.PollButton(b, glfwGetMouseButton(window, GLFW_MOUSE_BUTTON_1 + b) == GLFW_PRESS);
}

void InputManager::Kill() {
  SetCallbacks(false);
  EventManager::Instance().UnregisterClient(name);
}

void InputManager::SetCallbacks(bool on) {
  GLFWwindow* window = MainWindow();
  if (window == nullptr) return;
  glfwSetKeyCallback(window, on ? KeyCallback : nullptr);
  glfwSetCharCallback(window, on ? CharCallback : nullptr);
  glfwSetMouseButtonCallback(window, on ? MouseButtonCallback : nullptr);
  glfwSetCursorPosCallback(window, on ? CursorPosCallback : nullptr);
  glfwSetScrollCallback(window, on ? ScrollCallback : nullptr);
  if (on) glfwSetInputMode(window, GLFW_CURSOR, GLFW_CURSOR_NORMAL);
  // GLFW 3 always reports key repeats (GLFW_REPEAT); nothing to enable.
}

void InputManager::KeyCallback(GLFWwindow*, int key, int scancode, int action, int mods) {
  // Keys go to the bar always (it ignores them unless a field has focus)
  // and to the tables always.
  InterfaceManager::Instance().KeyInput(key, scancode, action, mods);
  InputManager::Instance().table.KeyAction(key, action);
}

void InputManager::CharCallback(GLFWwindow*, unsigned int codepoint) {
  InterfaceManager::Instance().CharInput(codepoint);
}

// Mouse input always goes to the interface, which passes it on to the bar
// only while the bar takes the mouse.
void InputManager::MouseButtonCallback(GLFWwindow*, int button, int action, int mods) {
  InterfaceManager::Instance().MouseButtonInput(button, action, mods);
}

void InputManager::CursorPosCallback(GLFWwindow*, double x, double y) {
  InterfaceManager::Instance().CursorInput(x, y);
}

void InputManager::ScrollCallback(GLFWwindow*, double dx, double dy) {
  InterfaceManager::Instance().ScrollInput(dx, dy);
}
