#pragma once
// CameraController: the user's camera. The right button turns it (yaw and
// pitch follow the cursor's travel since the button went down); W, A, S, D
// move it forward, left, back and right at `speed`, never lower than
// kGroundClearance above the ground's top; Home puts it back at its start.

#include "math/vector.h"

class Camera;
class InputManager;

class CameraController {
 public:
  // Camera turning with the right button, radians per NDC unit.
  static constexpr float kPanRate = 3.0f;
  // Lowest eye height above the ground's top, world units: more than the
  // near plane's half height, so the ground is never cut open on screen.
  static constexpr float kGroundClearance = 0.25f;

  // What one Update did, for the tutorial.
  struct Moves {
    bool turned = false;
    bool moved = false;
  };

  // Puts the camera at its start: eye position, yaw and pitch; the speed too.
  void Start(Camera& camera);
  // One frame of dt seconds of the held keys and buttons; updates the view.
  Moves Update(Camera& camera, InputManager& input, float dt);

  float speed = 5.0f;  // world units per second

 private:
  Vector panAnchorMouse;   // cursor when the right button went down
  Vector panAnchorAngles;  // (yaw, pitch, 0, 0) when the right button went down
};
