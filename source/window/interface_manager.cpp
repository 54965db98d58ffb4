#include "window/interface_manager.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl2.h>

#include <algorithm>
#include <cfloat>
#include <string>

#include "core/system.h"
#include "window/system_window.h"

namespace {
// The bar's place, width and colours when it first appears. It starts below
// the help icon (whose lower edge is 5% of the window height down) and
// above the instruction picture, and its height fits what it holds, so at
// 800 x 600 every item shows without scrolling (collapsing a group shrinks
// the bar).
const float kBarX = 20.0f, kBarY = 40.0f;  // pixels from the top-left corner
const float kBarWidth = 220.0f;            // pixels
const ImVec4 kBarColour(0.0f, 100.0f / 255.0f, 140.0f / 255.0f, 160.0f / 255.0f);
const ImVec4 kTextColour(0.92f, 0.95f, 1.0f, 1.0f);
// The first line of the bar says whether it takes the mouse.
const ImVec4 kMouseOnColour(0.45f, 1.0f, 0.45f, 1.0f);
const ImVec4 kMouseOffColour(1.0f, 0.8f, 0.4f, 1.0f);
const char* const kBarTitle = "TweakBar";
// The statistics overlay: its window's title, distance from the window's
// top-right corner (pixels) and background opacity.
const char* const kOverlayTitle = "Statistics";
const float kOverlayMargin = 10.0f;
const float kOverlayAlpha = 0.6f;
}  // namespace

InterfaceManager::InterfaceManager() : Module<InterfaceManager>("InterfaceManager") {}

void InterfaceManager::Init() {
  inputEnabled = false;
  GLFWwindow* window = MainWindow();
  if (window == nullptr) return;  // headless: no bar

  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // no imgui.ini next to the program
  io.LogFilename = nullptr;

  ImGui::StyleColorsDark();
  ImGuiStyle& style = ImGui::GetStyle();
  style.Colors[ImGuiCol_WindowBg] = kBarColour;
  style.Colors[ImGuiCol_TitleBg] = kBarColour;
  style.Colors[ImGuiCol_TitleBgActive] = kBarColour;
  style.Colors[ImGuiCol_TitleBgCollapsed] = kBarColour;
  style.Colors[ImGuiCol_Text] = kTextColour;
  style.WindowRounding = 4.0f;

  // Our own input routing: no backend callbacks (see the header).
  if (!ImGui_ImplGlfw_InitForOpenGL(window, false)) {
    CLEAVE_ERROR("ImGui initialization failed: GLFW backend");
    ImGui::DestroyContext();
    return;
  }
  if (!ImGui_ImplOpenGL2_Init()) {
    CLEAVE_ERROR("ImGui initialization failed: OpenGL 2 backend");
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    return;
  }
  ready = true;
  WindowSize(System::Instance().screenWidth, System::Instance().screenHeight);
}

void InterfaceManager::Update() {
  frameBuilt = false;
  if (!ready) return;

  ImGui_ImplOpenGL2_NewFrame();
  ImGui_ImplGlfw_NewFrame();
  // The GLFW backend polls the mouse in its NewFrame (position only when
  // the window has the focus). Replace that with what we routed: the mouse
  // belongs to the bar only while input is enabled.
  ImGuiIO& io = ImGui::GetIO();
  if (inputEnabled && haveCursor) {
    io.MousePos = ImVec2(static_cast<float>(cursorX), static_cast<float>(cursorY));
  } else if (!inputEnabled) {
    io.MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
    for (bool& down : io.MouseDown) down = false;
    io.MouseWheel = io.MouseWheelH = 0.0f;
  }
  ImGui::NewFrame();
  LayOut();
  ImGui::Render();
  frameBuilt = true;
}

void InterfaceManager::LayOut() {
  if (!notice.empty()) {
    // Top centre, sized to its text; it never takes the mouse.
    ImGui::SetNextWindowPos(ImVec2(ImGui::GetIO().DisplaySize.x * 0.5f, kBarY), ImGuiCond_Always,
                            ImVec2(0.5f, 0.0f));
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoInputs |
                                   ImGuiWindowFlags_AlwaysAutoResize |
                                   ImGuiWindowFlags_NoSavedSettings;
    if (ImGui::Begin("Notice", nullptr, flags)) ImGui::TextUnformatted(notice.c_str());
    ImGui::End();
  }
  ImGui::SetNextWindowPos(ImVec2(kBarX, kBarY), ImGuiCond_Once);
  // A fixed width and a height that always fits the items (one frame late):
  // nothing is ever out of sight below a scroll bar.
  ImGui::SetNextWindowSizeConstraints(ImVec2(kBarWidth, 0.0f), ImVec2(kBarWidth, FLT_MAX));
  if (ImGui::Begin(kBarTitle, nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
    if (inputEnabled)
      ImGui::TextColored(kMouseOnColour, "Mouse: ON  (click ? for off)");
    else
      ImGui::TextColored(kMouseOffColour, "Mouse: OFF (click ? for on)");
    ImGui::PushItemWidth(-90.0f);  // leave room for labels on the right
    int id = 0;
    for (const TweakBar::Group& group : bar.Groups()) {
      const ImGuiTreeNodeFlags flags = group.open ? ImGuiTreeNodeFlags_DefaultOpen : 0;
      if (!ImGui::CollapsingHeader(group.name.c_str(), flags)) continue;
      for (const TweakBar::Item& item : group.items) {
        ImGui::PushID(id++);
        switch (item.kind) {
          case TweakBar::ItemKind::kText:
            ImGui::TextWrapped("%s", item.label.c_str());
            break;
          case TweakBar::ItemKind::kReadOnlyInt:
            ImGui::Text("%s: %d", item.label.c_str(), item.intValue ? item.intValue() : 0);
            break;
          case TweakBar::ItemKind::kEnum: {
            if (item.enumIndex == nullptr || item.enumNames.empty()) break;
            int index = TweakBar::ClampIndex(*item.enumIndex, item.enumNames.size());
            if (ImGui::BeginCombo(item.label.c_str(), item.enumNames[index].c_str())) {
              for (size_t i = 0; i < item.enumNames.size(); ++i) {
                const bool selected = static_cast<int>(i) == index;
                if (ImGui::Selectable(item.enumNames[i].c_str(), selected))
                  index = static_cast<int>(i);
              }
              ImGui::EndCombo();
            }
            *item.enumIndex = index;
            break;
          }
          case TweakBar::ItemKind::kFloat: {
            if (item.floatValue == nullptr) break;
            float value = *item.floatValue;
            if (ImGui::SliderFloat(item.label.c_str(), &value, item.minValue, item.maxValue,
                                   "%.2f"))
              *item.floatValue =
                  TweakBar::SnapFloat(value, item.minValue, item.maxValue, item.step);
            break;
          }
          case TweakBar::ItemKind::kButton:
            if (ImGui::Button(item.label.c_str()) && item.callback) item.callback();
            break;
          case TweakBar::ItemKind::kBool:
            if (item.boolValue != nullptr) ImGui::Checkbox(item.label.c_str(), item.boolValue);
            break;
          case TweakBar::ItemKind::kInt: {
            if (item.intPointer == nullptr) break;
            int value = *item.intPointer;
            if (ImGui::SliderInt(item.label.c_str(), &value, item.intMin, item.intMax))
              *item.intPointer = std::clamp(value, item.intMin, item.intMax);
            break;
          }
        }
        ImGui::PopID();
      }
    }
    ImGui::PopItemWidth();
  }
  const ImVec2 pos = ImGui::GetWindowPos();
  const ImVec2 size = ImGui::GetWindowSize();
  barX = static_cast<int>(pos.x);
  barY = static_cast<int>(pos.y);
  barWidth = static_cast<int>(size.x);
  barHeight = static_cast<int>(size.y);
  ImGui::End();

  if (overlayLines.empty()) return;
  // Top right, sized to its lines; it never takes the mouse.
  const ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x - kOverlayMargin, kOverlayMargin),
                          ImGuiCond_Always, ImVec2(1.0f, 0.0f));
  ImGui::SetNextWindowBgAlpha(kOverlayAlpha);
  const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoInputs |
                                 ImGuiWindowFlags_AlwaysAutoResize |
                                 ImGuiWindowFlags_NoSavedSettings;
  if (ImGui::Begin(kOverlayTitle, nullptr, flags))
    for (const std::string& line : overlayLines) ImGui::TextUnformatted(line.c_str());
  ImGui::End();
}

void InterfaceManager::Draw() {
  if (!ready || !frameBuilt) return;
  glUseProgram(0);
  // The backend draws from client-side vertex arrays, which GL reads as
  // offsets into a bound buffer object: unbind any mesh buffer first.
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

void InterfaceManager::Kill() {
  if (!ready) return;
  ready = false;
  frameBuilt = false;
  ImGui_ImplOpenGL2_Shutdown();
  ImGui_ImplGlfw_Shutdown();
  ImGui::DestroyContext();
}

void InterfaceManager::SetInputEnabled(bool on) {
  if (on == inputEnabled) return;
  inputEnabled = on;
  // The bar starts from where the cursor is, not from where it last saw it.
  GLFWwindow* window = MainWindow();
  if (on && window != nullptr) {
    glfwGetCursorPos(window, &cursorX, &cursorY);
    haveCursor = true;
  }
}

BoundingBox InterfaceManager::BarBox(int x, int y, int width, int height) {
  BoundingBox box;
  box.halfExtents = Vector(0.5f * width, 0.5f * height, 0.0f, 0.0f);
  box.center = Vector(x + 0.5f * width, y + 0.5f * height, 0.0f, 0.0f);
  return box;
}

BoundingBox InterfaceManager::GetBarBox() const {
  if (!ready) return BoundingBox();
  return BarBox(barX, barY, barWidth, barHeight);
}

void InterfaceManager::WindowSize(int width, int height) {
  if (!ready || width <= 0 || height <= 0) return;
  ImGui::GetIO().DisplaySize = ImVec2(static_cast<float>(width), static_cast<float>(height));
}

void InterfaceManager::KeyInput(int key, int scancode, int action, int mods) {
  if (ready) ImGui_ImplGlfw_KeyCallback(MainWindow(), key, scancode, action, mods);
}

void InterfaceManager::CharInput(unsigned int codepoint) {
  if (ready) ImGui_ImplGlfw_CharCallback(MainWindow(), codepoint);
}

void InterfaceManager::MouseButtonInput(int button, int action, int mods) {
  if (ready && inputEnabled) ImGui_ImplGlfw_MouseButtonCallback(MainWindow(), button, action, mods);
}

void InterfaceManager::CursorInput(double x, double y) {
  cursorX = x;
  cursorY = y;
  haveCursor = true;
}

void InterfaceManager::ScrollInput(double dx, double dy) {
  if (ready && inputEnabled) ImGui_ImplGlfw_ScrollCallback(MainWindow(), dx, dy);
}
