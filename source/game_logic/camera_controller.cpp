#include "game_logic/camera_controller.h"

#include <GLFW/glfw3.h>

#include <algorithm>

#include "core/system.h"
#include "objects/camera.h"
#include "scene/scene_setup.h"
#include "window/input_manager.h"

namespace {

// The right mouse button's table entry (384 + GLFW button number).
constexpr int kRightButton = kMouseButtonBase + 1;

// Start camera: eye position, yaw (rad).
const Vector kCameraStart(5.3574f, 2.1208f, 1.2421f, 0.0f);
constexpr float kCameraStartYaw = 1.4625f;

}  // namespace

void CameraController::Start(Camera& camera) {
  speed = 5.0f;
  camera.position = kCameraStart;
  camera.yaw = kCameraStartYaw;
  camera.pitch = 0.0f;
  camera.UpdateView();
}

CameraController::Moves CameraController::Update(Camera& camera, InputManager& input, float dt) {
  Moves moves;
  if (input.WasKeyPressed(GLFW_KEY_HOME)) {
    Start(camera);
    System::Instance().Log("Camera back at its start");
    return moves;
  }
  const Vector mouse = input.GetMousePos();
  if (input.IsKeyDown(kRightButton)) {
    if (input.WasKeyPressed(kRightButton)) {
      panAnchorMouse = mouse;
      panAnchorAngles = Vector(camera.yaw, camera.pitch, 0.0f, 0.0f);
    }
    camera.yaw = panAnchorAngles.x - kPanRate * (mouse.x - panAnchorMouse.x);
    camera.pitch = panAnchorAngles.y - kPanRate * (mouse.y - panAnchorMouse.y);
    moves.turned = true;
  }

  // Camera-space steps turned into world space by the camera's rotation:
  // right is row 0 of the view, back is row 2.
  const float step = speed * dt;
  auto move = [&](char key, const Vector& worldStep) {
    if (input.IsKeyDown(key)) {
      camera.position = camera.position + worldStep;
      moves.moved = true;
    }
  };
  move('A', camera.GetRight() * -step);
  move('D', camera.GetRight() * step);
  move('W', camera.GetBack() * -step);
  move('S', camera.GetBack() * step);
  camera.position.y = std::max(camera.position.y, kGroundTop + kGroundClearance);

  camera.UpdateView();
  return moves;
}
