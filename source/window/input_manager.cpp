#include "window/input_manager.h"

#include <GLFW/glfw3.h>

#include <ctime>

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
  StartSession();
}

void InputManager::Update() {
  ProcessEvents();  // nothing to do with them: input is polled
  session.BeginFrame();
  if (session.mode != InputSession::Mode::kOff && session.SecondDue() && stateHash)
    session.AddHash(stateHash());
  if (session.mode == InputSession::Mode::kReplay) {
    ReplayFrame();
    return;
  }
  GLFWwindow* window = MainWindow();
  if (window == nullptr) return;

  double x = 0.0, y = 0.0;
  glfwGetCursorPos(window, &x, &y);
  const System& system = System::Instance();
  const Vector before = mousePos;
  mousePos = CursorToNdc(x, y, system.screenWidth, system.screenHeight);

  int buttons = 0;
  for (int b = 0; b < kMouseButtonCount; ++b) {
    const bool down = glfwGetMouseButton(window, GLFW_MOUSE_BUTTON_1 + b) == GLFW_PRESS;
    table.PollButton(b, down);
    buttons |= down ? 1 << b : 0;
  }
  if (session.frame == 1 || mousePos.x != before.x || mousePos.y != before.y ||
      buttons != sampledButtons)
    session.Add(session.frame, 'F', {mousePos.x, mousePos.y, static_cast<double>(buttons)});
  sampledButtons = buttons;
}

void InputManager::Kill() {
  SetCallbacks(false);
  EndSession();
  EventManager::Instance().UnregisterClient(name);
}

void InputManager::StartSession() {
  CommandLineOptions& options = System::Instance().options;
  session = InputSession();
  if (!options.replay.empty()) {
    std::string error;
    if (!ReadRecordingFile(options.replay, session.recording, error)) {
      CLEAVE_ERROR(error);
      return;
    }
    session.mode = InputSession::Mode::kReplay;
    options.hasSeed = true;
    options.seed = session.recording.seed;
  } else if (!options.record.empty()) {
    if (!options.hasSeed) options.seed = static_cast<unsigned>(std::time(nullptr));
    options.hasSeed = true;
    session.mode = InputSession::Mode::kRecord;
    session.recording.seed = options.seed;
  }
}

void InputManager::EndSession() {
  System& system = System::Instance();
  if (session.mode == InputSession::Mode::kRecord) {
    session.recording.endFrame = session.frame;
    std::string error;
    if (WriteRecordingFile(system.options.record, session.recording, error))
      system.Log("Recorded " + std::to_string(session.frame) + " frames to " +
                 system.options.record);
    else
      CLEAVE_WARNING(error);
  } else if (session.mode == InputSession::Mode::kReplay) {
    const Divergence divergence = CompareHashes(session.recording.hashes, session.hashes);
    if (divergence.differing > 0)
      CLEAVE_WARNING(DivergenceReport(divergence));
    else
      system.Log(DivergenceReport(divergence));
    // With --record as well: the same input with this run's hashes.
    std::string error;
    session.recording.hashes = session.hashes;
    if (!system.options.record.empty() &&
        !WriteRecordingFile(system.options.record, session.recording, error))
      CLEAVE_WARNING(error);
  }
  session.mode = InputSession::Mode::kOff;
}

void InputManager::ReplayFrame() {
  InterfaceManager& interface = InterfaceManager::Instance();
  for (const InputRecord& input : session.TakeFrame()) {
    const double* v = input.values;
    const auto i = [v](int k) { return static_cast<int>(v[k]); };
    switch (input.kind) {
      case 'K':
        interface.KeyInput(i(0), i(1), i(2), i(3));
        table.KeyAction(i(0), i(2));
        break;
      case 'C':
        interface.CharInput(static_cast<unsigned>(v[0]));
        break;
      case 'B':
        interface.MouseButtonInput(i(0), i(1), i(2));
        break;
      case 'P':
        interface.CursorInput(v[0], v[1]);
        break;
      case 'S':
        interface.ScrollInput(v[0], v[1]);
        break;
      default:  // 'F', the frame's sample
        mousePos = Vector(static_cast<float>(v[0]), static_cast<float>(v[1]), 0.0f, 0.0f);
        sampledButtons = i(2);
    }
  }
  for (int b = 0; b < kMouseButtonCount; ++b) table.PollButton(b, (sampledButtons >> b) & 1);
  // The recorded session ended with this frame; so does the replay.
  if (session.frame >= session.recording.endFrame) System::Instance().running = false;
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

namespace {

// A replay ignores the window's input (false); a recording takes each
// callback with the frame it reaches the scene on, the next one.
bool TakeCallback(char kind, std::initializer_list<double> values) {
  InputSession& session = InputManager::Instance().session;
  if (session.mode == InputSession::Mode::kReplay) return false;
  session.Add(session.frame + 1, kind, values);
  return true;
}

}  // namespace

void InputManager::KeyCallback(GLFWwindow*, int key, int scancode, int action, int mods) {
  if (!TakeCallback('K', {double(key), double(scancode), double(action), double(mods)})) return;
  // Keys go to the bar always (it ignores them unless a field has focus)
  // and to the tables always.
  InterfaceManager::Instance().KeyInput(key, scancode, action, mods);
  InputManager::Instance().table.KeyAction(key, action);
}

void InputManager::CharCallback(GLFWwindow*, unsigned int codepoint) {
  if (!TakeCallback('C', {double(codepoint)})) return;
  InterfaceManager::Instance().CharInput(codepoint);
}

// Mouse input always goes to the interface, which passes it on to the bar
// only while the bar takes the mouse.
void InputManager::MouseButtonCallback(GLFWwindow*, int button, int action, int mods) {
  if (!TakeCallback('B', {double(button), double(action), double(mods)})) return;
  InterfaceManager::Instance().MouseButtonInput(button, action, mods);
}

void InputManager::CursorPosCallback(GLFWwindow*, double x, double y) {
  if (!TakeCallback('P', {x, y})) return;
  InterfaceManager::Instance().CursorInput(x, y);
}

void InputManager::ScrollCallback(GLFWwindow*, double dx, double dy) {
  if (!TakeCallback('S', {dx, dy})) return;
  InterfaceManager::Instance().ScrollInput(dx, dy);
}
